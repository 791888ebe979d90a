// The converter run on a log file, and the check that its CSV says the same
// as the log, record by record.
#pragma once

#include <string>

#include "tests/packaging/command.h"

// scripts/log2csv on a file; the path must hold no single quote.
CommandResult ConvertLog(const std::string& logPath);

extern const char* const CsvHeader;

// Every record of the log has its row, in order, with decimal numbers, ISO
// times, the run time in seconds and the path as the log has it.
void ExpectCsvDescribesLog(const std::string& log, const std::string& csv);
