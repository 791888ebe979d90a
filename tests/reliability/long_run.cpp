#include "tests/reliability/long_run.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>

long SizeFromEnvironment(const char* name, long fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr) return fallback;
  const long value = std::strtol(text, nullptr, 10);
  return value > 0 ? value : fallback;
}

bool RunningAsRoot() { return geteuid() == 0; }

void StartReading(OutputReader& reader, int fd) {
  reader.thread = std::thread([&reader, fd] {
    char buffer[4096];
    for (;;) {
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n > 0) {
        std::lock_guard<std::mutex> guard(reader.lock);
        reader.text.append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        break;
      }
    }
    close(fd);
  });
}

std::string TextSoFar(OutputReader& reader) {
  std::lock_guard<std::mutex> guard(reader.lock);
  return reader.text;
}

void FinishReading(OutputReader& reader) {
  if (reader.thread.joinable()) reader.thread.join();
}
