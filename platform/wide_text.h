// Portable helpers for the zero-terminated UTF-16 text the program works in:
// a small printf-style formatter, and UTF-16 <-> UTF-8 conversion for the
// backends whose system text is UTF-8.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "platform/base_types.h"

// printf-style formatting into UTF-16. Understands %[-][0][width][l]
// followed by d, i, u, x, X, c (a WCHAR) or s (a UTF-16 string), and %%.
// The output is always terminated and cut to fit; returns the units written.
std::size_t FormatTextW(WCHAR* buffer, std::size_t size, const WCHAR* format, ...);
std::size_t FormatTextListW(WCHAR* buffer, std::size_t size, const WCHAR* format,
                            va_list arguments);

std::size_t WideLength(const WCHAR* text);

// Copies at most size-1 units and terminates.
void WideCopy(WCHAR* destination, std::size_t size, const WCHAR* source);

// Equality with ASCII letters compared without regard to case.
bool WideEqualsIgnoringAsciiCase(const WCHAR* a, const WCHAR* b);

// UTF-16 (unpaired surrogates become U+FFFD) to UTF-8. Writes at most
// size-1 bytes, never a partial character, and terminates when size > 0.
// Returns the number of bytes the whole text needs, without terminator.
std::size_t Utf16ToUtf8(const WCHAR* text, char* buffer, std::size_t size);

// UTF-8 (invalid bytes become U+FFFD) to UTF-16, like Utf16ToUtf8 in reverse.
// Returns the number of units the whole text needs, without terminator.
std::size_t Utf8ToUtf16(const char* text, WCHAR* buffer, std::size_t size);
