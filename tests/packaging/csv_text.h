// Reads CSV as RFC 4180 defines it, independently of the converter under
// test, so that its quoting is checked rather than assumed.
#pragma once

#include <string>
#include <vector>

using CsvRow = std::vector<std::string>;

// Rows end in LF or CR LF; a quoted field may hold commas, doubled quotes
// and line breaks. Returns false on a malformed quote.
bool ParseCsv(const std::string& text, std::vector<CsvRow>& rows);
