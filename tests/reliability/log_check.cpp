#include "tests/reliability/log_check.h"

#include <regex>

namespace {

const std::regex& Header() {
  static const std::regex header(
      R"( Tolvane Utility, Rev: 1\.0\.0\.3, Start: \d{4}-\d{1,2}-\d{1,2} \d{1,2}:\d{1,2}:\d{1,2}, End: \d{4}-\d{1,2}-\d{1,2} \d{1,2}:\d{1,2}:\d{1,2})");
  return header;
}

const std::regex& Record() {
  static const std::regex record(
      R"(No:(\d+) *, Valid=(Yes|No ), LostClose=(Yes|No ), Handle=(Open |Close|NA   |\?    ), )"
      R"(ParentID=[0-9A-F]{8}, ProcessID=[0-9A-F]{8}, Handle=[0-9A-F]{8}, SubProcessNo=\d+ *, )"
      R"(ExitCode=[0-9A-F]{8}, (EndExitCode=[0-9A-F]{8}, )?tStart=[0-9A-F]{8} [0-9A-F]{8}, )"
      R"(tEnd=[0-9A-F]{8} [0-9A-F]{8}, (TakeTime=unknown|tUseTime=\d+M:\d+S), FilePathName=[^\r\n]*)");
  return record;
}

bool KnownNote(const std::string& note) {
  static const std::regex warning(R"(\n  WARNING: [^\r\n]* failed with error \d+ \([^\r\n]*\))");
  return note.empty() || note == "Data array is out of memory!!\n" ||
         std::regex_match(note, warning);
}

LogCheck Fails(LogCheck check, const std::string& problem) {
  check.whole = false;
  check.problem = problem;
  return check;
}

}  // namespace

LogCheck CheckLog(const std::string& bytes) {
  LogCheck check;
  if (bytes.empty()) return Fails(check, "empty");
  if (bytes.back() != '\0') return Fails(check, "no terminating zero byte");
  const std::string text = bytes.substr(0, bytes.size() - 1);
  if (text.find('\0') != std::string::npos) return Fails(check, "a zero byte inside");
  std::size_t end = text.find("\r\n");
  if (end == std::string::npos || !std::regex_match(text.substr(0, end), Header()))
    return Fails(check, "no header line");
  std::size_t start = end + 2;
  while ((end = text.find("\r\n", start)) != std::string::npos) {
    const std::string line = text.substr(start, end - start);
    std::smatch match;
    if (!std::regex_match(line, match, Record())) return Fails(check, "not a record line: " + line);
    if (std::stoul(match[1].str()) != check.records.size() + 1)
      return Fails(check, "record out of order: " + line);
    check.records.push_back(line);
    start = end + 2;
  }
  check.note = text.substr(start);
  if (!KnownNote(check.note)) return Fails(check, "not a note: " + check.note);
  check.whole = true;
  return check;
}

std::string PathOf(const std::string& record) {
  const std::string key = ", FilePathName=";
  std::size_t at = record.find(key);
  return at == std::string::npos ? std::string() : record.substr(at + key.size());
}
