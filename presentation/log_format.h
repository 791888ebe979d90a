// The log file's text: the header line and one line per record, in the
// system's ANSI code page (UTF-8 off Windows).
#pragma once

#include <cstddef>

#include "platform/console_services.h"
#include "tracking/process_table.h"

// Room for the longest record line: the fixed pieces and a path of
// MAX_PATH-1 units, each up to 4 bytes in the ANSI code page.
constexpr std::size_t LogLineSize = 512 + 4 * MAX_PATH;

// Each returns the bytes written (without terminator) into out.
std::size_t FormatLogHeader(const SYSTEMTIME& start, const SYSTEMTIME& now, char* out,
                            std::size_t size);
std::size_t FormatLogLine(const ProcessData& record, DWORD index, char* out, std::size_t size);

// UTF-16 text in the ANSI code page, cut to fit; returns the bytes written.
std::size_t ToAnsi(const WCHAR* text, char* out, std::size_t size);
