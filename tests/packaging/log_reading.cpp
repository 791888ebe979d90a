#include "tests/packaging/log_reading.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <regex>
#include <sstream>

namespace {

std::uint32_t Hex(const std::string& text) {
  return static_cast<std::uint32_t>(std::stoul(text, nullptr, 16));
}

std::uint64_t FileTime(const std::string& high, const std::string& low) {
  return (static_cast<std::uint64_t>(Hex(high)) << 32) | Hex(low);
}

}  // namespace

std::vector<LoggedRecord> LoggedRecords(const std::string& log) {
  static const std::regex line(
      R"(No:(\d+) *, Valid=(Yes|No) ?, LostClose=(Yes|No) ?, Handle=(Open|Close|NA|\?) *, )"
      R"(ParentID=([0-9A-F]{8}), ProcessID=([0-9A-F]{8}), Handle=([0-9A-F]{8}), )"
      R"(SubProcessNo=(\d+) *, ExitCode=([0-9A-F]{8}), (?:EndExitCode=([0-9A-F]{8}), )?)"
      R"(tStart=([0-9A-F]{8}) ([0-9A-F]{8}), tEnd=([0-9A-F]{8}) ([0-9A-F]{8}), )"
      R"((?:tUseTime=\d+M:\d+S|TakeTime=unknown), FilePathName=(.*)\r?)");
  std::vector<LoggedRecord> records;
  std::istringstream stream(log);
  std::string text;
  std::smatch m;
  while (std::getline(stream, text)) {
    if (!std::regex_match(text, m, line)) continue;
    records.push_back({m[1], m[2], m[3], m[4], Hex(m[5]), Hex(m[6]), Hex(m[7]), Hex(m[9]), m[8],
                       m[10], FileTime(m[11], m[12]), FileTime(m[13], m[14]), m[15]});
  }
  return records;
}

std::string IsoTime(std::uint64_t fileTime) {
  if (fileTime == 0) return "";
  const std::uint64_t unixEpoch = 116444736000000000ull;  // 1970-01-01 as a FILETIME
  const std::time_t seconds = static_cast<std::time_t>((fileTime - unixEpoch) / 10000000u);
  std::tm calendar{};
  gmtime_r(&seconds, &calendar);
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &calendar);
  char fraction[16];
  std::snprintf(fraction, sizeof fraction, ".%07" PRIu64 "Z", (fileTime - unixEpoch) % 10000000u);
  return std::string(text) + fraction;
}

std::string Seconds(std::uint64_t start, std::uint64_t end) {
  if (end == 0) return "";
  const bool negative = end < start;
  const std::uint64_t units = negative ? start - end : end - start;
  char text[48];
  std::snprintf(text, sizeof text, "%s%" PRIu64 ".%07" PRIu64, negative ? "-" : "",
                units / 10000000u, units % 10000000u);
  return text;
}
