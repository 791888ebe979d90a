// The C library's strtoul as it reads text where unsigned long is 32 bits
// wide (Windows), built on this library's strtoul, whose unsigned long may
// be 64 bits: a magnitude above 2^32-1 gives 4294967295, and a minus sign
// negates modulo 2^32.
#pragma once

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>

inline std::uint32_t Strtoul32(const char* text, int base) {
  errno = 0;
  const unsigned long value = std::strtoul(text, nullptr, base);
  if (errno == ERANGE) return 0xFFFFFFFFu;
  const char* p = text;
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  const bool negative = *p == '-';
  // strtoul has already negated a signed value in its own width.
  const unsigned long long magnitude = negative ? 0ull - value : value;
  if (magnitude > 0xFFFFFFFFull) return 0xFFFFFFFFu;
  const std::uint32_t low = static_cast<std::uint32_t>(magnitude);
  return negative ? 0u - low : low;
}

// The base the option value conversion chooses: 16 when the second
// character is 'x' or 'X'.
inline int OptionValueBase(const char* text) {
  return text[0] != 0 && (text[1] == 'x' || text[1] == 'X') ? 16 : 10;
}
