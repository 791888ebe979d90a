// Reads the record lines of a Tolvane log and computes what the CSV should
// say about them, with C++ arithmetic and gmtime rather than the awk of the
// converter.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct LoggedRecord {
  std::string no, valid, lostClose, handleState;
  std::uint32_t parentId, processId, handle, exitCode;
  std::string subProcessNo, endExitCode;  // endExitCode: hex, empty when absent
  std::uint64_t start, end;               // FILETIME counts
  std::string filePathName;
};

// The record lines of a whole log, in order; lines that are not records
// (the header, a note) are left out.
std::vector<LoggedRecord> LoggedRecords(const std::string& log);

// A FILETIME as "YYYY-MM-DDThh:mm:ss.fffffffZ"; empty for zero.
std::string IsoTime(std::uint64_t fileTime);

// tEnd - tStart in seconds with seven decimals; empty while tEnd is zero.
std::string Seconds(std::uint64_t start, std::uint64_t end);
