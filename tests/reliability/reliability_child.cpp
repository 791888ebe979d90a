// Children for the reliability runs:
//   named <name> <ms>                 takes <name> as its command name, then
//                                     sleeps <ms> and exits with 0
//   brief <ms>                        sleeps <ms>, exits with <ms> % 200
//   churn <count> <seconds> <max-ms>  starts <count> "brief" children evenly
//                                     over <seconds>, each living 1 to
//                                     <max-ms> ms, reaps them all, and exits
//                                     with 0 when every one could be started
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>

extern char** environ;

namespace {

void SleepMs(long ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void ReapFinished() {
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
}

int Churn(char* self, long count, long seconds, long maxMs) {
  std::mt19937 random(static_cast<unsigned>(getpid()));
  std::uniform_int_distribution<long> life(1, maxMs);
  const auto start = std::chrono::steady_clock::now();
  long failed = 0;
  for (long i = 0; i < count; ++i) {
    // Even spacing from the start, so a slow spawn does not stretch the run.
    std::this_thread::sleep_until(start + std::chrono::microseconds(seconds * 1000000 * i / count));
    std::string ms = std::to_string(life(random));
    char mode[] = "brief";
    char* argv[] = {self, mode, ms.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv, environ) != 0) ++failed;
    ReapFinished();
  }
  while (wait(nullptr) > 0) {
  }
  std::printf("churn: %ld started, %ld failed\n", count - failed, failed);
  return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 91;
  const std::string mode = argv[1];
  if (mode == "named" && argc == 4) {
    prctl(PR_SET_NAME, argv[2], 0, 0, 0);
    SleepMs(std::atol(argv[3]));
    return 0;
  }
  if (mode == "brief") {
    const long ms = std::atol(argv[2]);
    SleepMs(ms);
    return static_cast<int>(ms % 200);
  }
  if (mode == "churn" && argc == 5)
    return Churn(argv[0], std::atol(argv[2]), std::atol(argv[3]), std::atol(argv[4]));
  return 93;
}
