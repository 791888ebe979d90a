#include "tests/packaging/csv_text.h"

bool ParseCsv(const std::string& text, std::vector<CsvRow>& rows) {
  rows.clear();
  CsvRow row;
  std::string field;
  bool quoted = false;
  bool fieldStarted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c != '"') {
        field += c;
      } else if (i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else {
        quoted = false;
        // After a closing quote only a separator or a line end may follow.
        if (i + 1 < text.size() && text[i + 1] != ',' && text[i + 1] != '\n' && text[i + 1] != '\r')
          return false;
      }
    } else if (c == '"') {
      if (fieldStarted && !field.empty()) return false;
      quoted = true;
      fieldStarted = true;
    } else if (c == ',') {
      row.push_back(field);
      field.clear();
      fieldStarted = true;
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      continue;
    } else if (c == '\n') {
      row.push_back(field);
      rows.push_back(row);
      row.clear();
      field.clear();
      fieldStarted = false;
    } else {
      field += c;
      fieldStarted = true;
    }
  }
  if (quoted) return false;
  if (fieldStarted || !row.empty()) {
    row.push_back(field);
    rows.push_back(row);
  }
  return true;
}
