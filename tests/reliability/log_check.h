// Whether a log's bytes are one whole save: the header, numbered record
// lines, at most a note, and the terminating zero byte. A save cut short by
// a kill or a full disk fails this check.
#pragma once

#include <string>
#include <vector>

struct LogCheck {
  bool whole = false;
  std::string problem;               // why it is not whole
  std::vector<std::string> records;  // the record lines, without "\r\n"
  std::string note;                  // what follows the last record line
};

LogCheck CheckLog(const std::string& bytes);

// The FilePathName of a record line.
std::string PathOf(const std::string& record);
