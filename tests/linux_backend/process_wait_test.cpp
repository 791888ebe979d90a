// Process handles on the test's own children: waits, zombies, times, and
// what OpenProcess refuses.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "platform/console_services.h"
#include "platform/linux/compat.h"
#include "platform/process_services.h"
#include "test_children.h"
#include "test_support.h"

namespace {

std::uint64_t Value(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::uint64_t WallClock() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  FILETIME time;
  EXPECT_TRUE(SystemTimeToFileTime(&now, &time));
  return Value(time);
}

constexpr std::uint64_t second = 10000000;

HANDLE Open(pid_t pid) {
  return OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, static_cast<DWORD>(pid));
}

class ProcessWaits : public testing::Test {
 protected:
  // The zombie cases need the pidfd source, whose codes appear at reaping.
  void SetUp() override {
    ForceExitCodeSource(EXIT_CODE_SOURCE_AUTOMATIC);
    if (ServingExitCodeSource() != EXIT_CODE_SOURCE_PIDFD_INFO)
      GTEST_SKIP() << "pidfds carry no exit codes here";
  }
};

TEST_F(ProcessWaits, ReturnWhenAChildEndsAndItsParentReapedIt) {
  ControlledChild child = StartControlledChild({9, 0});
  HANDLE process = Open(child.pid);
  ASSERT_NE(process, nullptr);
  EXPECT_EQ(WaitForSingleObject(process, 20), WAIT_TIMEOUT) << "it still runs";

  std::atomic<DWORD> waited{WAIT_FAILED};
  std::thread waiter([&] { waited = WaitForSingleObject(process, INFINITE); });
  Release(&child);
  // Ended but not reaped: the code is not known yet, so the wait goes on.
  siginfo_t info;
  waitid(P_PID, static_cast<id_t>(child.pid), &info, WEXITED | WNOWAIT);
  EXPECT_EQ(WaitForSingleObject(process, 50), WAIT_TIMEOUT);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(process, &code));
  EXPECT_EQ(code, STILL_ACTIVE);

  ReapChild(child.pid);
  waiter.join();
  EXPECT_EQ(waited.load(), WAIT_OBJECT_0);
  EXPECT_TRUE(GetExitCodeProcess(process, &code));
  EXPECT_EQ(code, 9u);
  EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_OBJECT_0) << "an ended process stays signalled";
  EXPECT_TRUE(CloseHandle(process));
}

TEST_F(ProcessWaits, TimesAreSaneWhileRunningAndAfterTheEnd) {
  std::uint64_t before = WallClock();
  ControlledChild child = StartControlledChild({0, 0}, 0.3);
  HANDLE process = Open(child.pid);
  ASSERT_NE(process, nullptr);
  FILETIME creation, exit, kernel, user;
  ASSERT_TRUE(GetProcessTimes(process, &creation, &exit, &kernel, &user));
  std::uint64_t now = WallClock();
  EXPECT_GE(Value(creation) + 2 * second, before);
  EXPECT_LE(Value(creation), now + 2 * second);
  EXPECT_EQ(Value(exit), 0u) << "still running";

  // Seen ended while a zombie, as a waiter sees it, the final CPU times
  // are still there to read; after the reaping they are kept.
  Release(&child);
  siginfo_t info;
  waitid(P_PID, static_cast<id_t>(child.pid), &info, WEXITED | WNOWAIT);
  FILETIME zombie[4];
  ASSERT_TRUE(GetProcessTimes(process, &zombie[0], &zombie[1], &zombie[2], &zombie[3]));
  ReapChild(child.pid);
  ASSERT_EQ(WaitForSingleObject(process, INFINITE), WAIT_OBJECT_0);
  FILETIME ended[4];
  ASSERT_TRUE(GetProcessTimes(process, &ended[0], &ended[1], &ended[2], &ended[3]));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Value(ended[i]), Value(zombie[i])) << i;
  std::uint64_t after = WallClock();
  EXPECT_EQ(Value(ended[0]), Value(creation)) << "the creation time does not move";
  EXPECT_GT(Value(ended[1]), Value(ended[0]));
  EXPECT_LE(Value(ended[1]), after + 2 * second);
  EXPECT_GE(Value(ended[1]) + 2 * second, after);
  // It spent 0.3 s of processor time before it was released.
  EXPECT_GE(Value(ended[2]) + Value(ended[3]), second / 5);
  EXPECT_LE(Value(ended[2]) + Value(ended[3]), Value(ended[1]) - Value(ended[0]) + second / 10);
  EXPECT_TRUE(CloseHandle(process));
}

TEST(OpenProcess, RefusesWhatIsNoProcess) {
  ControlledChild child = StartControlledChild({0, 0});
  Release(&child);
  ReapChild(child.pid);
  EXPECT_EQ(Open(child.pid), nullptr) << "a process that is gone";
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Open(0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

}  // namespace
