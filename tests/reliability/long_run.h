// What the long runs share: their sizes from the environment, and a reader
// that keeps a program's output while it runs.
#pragma once

#include <mutex>
#include <string>
#include <thread>

// A positive number from the environment, or the fallback.
long SizeFromEnvironment(const char* name, long fallback);

bool RunningAsRoot();

// Collects everything written to a descriptor on a thread of its own, and
// closes it at the end of file.
struct OutputReader {
  std::mutex lock;
  std::string text;
  std::thread thread;
};
void StartReading(OutputReader& reader, int fd);
std::string TextSoFar(OutputReader& reader);
void FinishReading(OutputReader& reader);  // waits for the end of file
