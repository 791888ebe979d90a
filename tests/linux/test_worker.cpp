// A small process with a known life, for the tests that watch real
// processes:
//   exit <ms> <code>        sleeps, then exits with code
//   signal <ms> <signal>    sleeps, then dies by the signal
//   busy <ms> <code>        uses ms of CPU, sleeps ms, then exits with code
//   tree <code>             starts "busy 300 3" and "signal 900 15" as its
//                           children, reaps them, then exits with code
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

extern char** environ;

namespace {

void SleepMs(long ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

pid_t Spawn(const char* self, const char* mode, const char* a, const char* b) {
  char* argv[] = {const_cast<char*>(self), const_cast<char*>(mode), const_cast<char*>(a),
                  const_cast<char*>(b), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, self, nullptr, nullptr, argv, environ) != 0) std::exit(90);
  return pid;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 91;
  const std::string mode = argv[1];
  const long first = std::strtol(argv[2], nullptr, 10);
  const int second = argc > 3 ? std::atoi(argv[3]) : 0;
  if (mode == "exit") {
    SleepMs(first);
    return second;
  }
  if (mode == "signal") {
    SleepMs(first);
    signal(second, SIG_DFL);
    raise(second);
    return 92;
  }
  if (mode == "busy") {
    // Spends ms of CPU time, then lives as long again without it.
    timespec used;
    do {
      clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
    } while (used.tv_sec * 1000L + used.tv_nsec / 1000000L < first);
    SleepMs(first);
    return second;
  }
  if (mode == "tree") {
    // Give the watcher time to see the whole tree before anything ends.
    pid_t a = Spawn(argv[0], "busy", "300", "3");
    pid_t b = Spawn(argv[0], "signal", "900", "15");
    int status = 0;
    waitpid(a, &status, 0);
    waitpid(b, &status, 0);
    SleepMs(200);
    return static_cast<int>(first);
  }
  return 93;
}
