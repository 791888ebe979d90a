// The tree scan and exit watching on real processes: a small tree with a
// known shape, exit codes and lives, watched from this test's own PID.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

#include "platform/wide_text.h"
#include "tests/linux/real_process.h"
#include "tracking/exit_watch.h"
#include "tracking/process_table.h"
#include "tracking/tree_scan.h"

namespace {

constexpr std::uint64_t UnixEpochAsFileTime = 116444736000000000ull;

std::uint64_t WallClock() {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return UnixEpochAsFileTime + static_cast<std::uint64_t>(now.tv_sec) * 10000000u +
         static_cast<std::uint64_t>(now.tv_nsec) / 100u;
}

std::string Narrow(const WCHAR* text) {
  char buffer[4 * MAX_PATH];
  Utf16ToUtf8(text, buffer, sizeof(buffer));
  return buffer;
}

void ResetTable() {
  std::memset(static_cast<void*>(DataArray), 0, sizeof(DataArray));
  RecordCount = 0;
}

DWORD Find(DWORD pid) {
  for (DWORD i = 0; i < RecordCount; ++i)
    if (DataArray[i].ProcessID == pid) return i;
  return NoFreeRecord;
}

DWORD ChildCount(DWORD pid) {
  DWORD count = 0;
  return GetSubProcessNo(pid, &count) ? count : 0;
}

bool AllEnded() {
  for (DWORD i = 0; i < RecordCount; ++i)
    if (ReadRecord(i).HandleClosed != 1) return false;
  return true;
}

TEST(RealTree, ScanRecordsTheTreeAndWaitersCompleteEachRecord) {
  ResetTable();
  const DWORD self = static_cast<DWORD>(getpid());
  const std::uint64_t before = WallClock();
  const pid_t child = StartProgram({TOLVANE_WORKER, "tree", "5"});
  ASSERT_GT(child, 0);
  ASSERT_TRUE(WaitUntil([&] { return ChildCount(static_cast<DWORD>(child)) == 2; }));

  ASSERT_EQ(GetProcessList(self), 1);
  ASSERT_EQ(RecordCount, 3u);
  const DWORD root = Find(static_cast<DWORD>(child));
  ASSERT_EQ(root, 0u) << "the child is met first, then its children";
  for (DWORD i = 0; i < RecordCount; ++i) {
    SCOPED_TRACE(i);
    const ProcessData record = ReadRecord(i);
    EXPECT_EQ(record.ParentID, i == 0 ? self : static_cast<DWORD>(child));
    EXPECT_EQ(record.SubProcessNo, i == 0 ? 2u : 0u);
    EXPECT_EQ(Narrow(record.ExeName), "tolvane_test_worker");
    EXPECT_EQ(Narrow(record.FilePathName), TOLVANE_WORKER);
    EXPECT_EQ(record.Valid, 1u);
    EXPECT_EQ(record.HandleOpen, 1u);
    EXPECT_NE(record.WaiterThread, nullptr);
    const std::uint64_t start = FileTimeValue(record.tStart);
    EXPECT_GE(start + 20000000u, before) << "created after the test started";
    EXPECT_LE(start, WallClock() + 20000000u);
    EXPECT_EQ(FileTimeValue(record.tEnd), 0u);
  }
  // A poll while everything runs marks nothing.
  CheckLostClose();
  for (DWORD i = 0; i < RecordCount; ++i) EXPECT_EQ(ReadRecord(i).LostClose, 0u);

  // A later scan refreshes the times of the processes still running: the
  // busy grandchild has spent its CPU time by now.
  ASSERT_TRUE(WaitUntil([] {
    GetProcessList(static_cast<DWORD>(getpid()));
    const ProcessData busy = ReadRecord(1);
    return FileTimeValue(busy.UserTime) + FileTimeValue(busy.KernelTime) > 1000000u ||
           busy.HandleClosed == 1;
  }));

  // The child reaps its own children; this test reaps the child.
  EXPECT_EQ(WaitExitCode(child), 5);
  ASSERT_TRUE(WaitUntil(AllEnded));
  const std::uint64_t after = WallClock();
  const DWORD expectedCodes[] = {5, 3, 128 + 15};
  ASSERT_EQ(RecordCount, 3u);
  for (DWORD i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const ProcessData record = ReadRecord(i);
    EXPECT_EQ(record.ExitCode, expectedCodes[i]);
    EXPECT_EQ(record.HandleOpen, 0u);
    EXPECT_EQ(record.HandleClosed, 1u);
    const std::uint64_t start = FileTimeValue(record.tStart);
    const std::uint64_t end = FileTimeValue(record.tEnd);
    EXPECT_GT(end, start);
    EXPECT_LE(end, after + 10000000u);
  }
  // The busy grandchild's 300 ms on the CPU are in its record.
  const ProcessData busy = ReadRecord(1);
  EXPECT_GT(FileTimeValue(busy.UserTime) + FileTimeValue(busy.KernelTime), 1000000u);
  // The whole tree ended: its handles are all released and a poll now is
  // harmless.
  CheckLostClose();
  for (DWORD i = 0; i < RecordCount; ++i) EXPECT_EQ(ReadRecord(i).LostClose, 0u);
}

char ProcessState(pid_t pid) {
  const std::string stat = ReadText("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t close = stat.rfind(')');
  return close == std::string::npos || close + 2 >= stat.size() ? '?' : stat[close + 2];
}

// Once ended and before its parent reaps it, a process no longer shows its
// executable; a scan meeting it then must not take it for a new process.
TEST(RealTree, ProcessMetAgainBeforeItIsReapedStaysOnItsRecord) {
  ResetTable();
  const DWORD self = static_cast<DWORD>(getpid());
  const pid_t child = StartProgram({TOLVANE_WORKER, "exit", "300", "4"});
  ASSERT_GT(child, 0);
  ASSERT_EQ(GetProcessList(self), 1);
  ASSERT_EQ(RecordCount, 1u);
  ASSERT_TRUE(WaitUntil([&] { return ProcessState(child) == 'Z'; }));

  ASSERT_EQ(GetProcessList(self), 1);
  EXPECT_EQ(RecordCount, 1u);
  EXPECT_EQ(Narrow(ReadRecord(0).ExeName), "tolvane_test_worker");
  EXPECT_EQ(Narrow(ReadRecord(0).FilePathName), TOLVANE_WORKER);

  EXPECT_EQ(WaitExitCode(child), 4);
  ASSERT_TRUE(WaitUntil(AllEnded));
  EXPECT_EQ(ReadRecord(0).ExitCode, 4u);
}

TEST(RealTree, ParentOfThisProcessIsFound) {
  EXPECT_EQ(GetParentProcessID(static_cast<DWORD>(getpid())), static_cast<DWORD>(getppid()));
  EXPECT_EQ(GetParentProcessID(0xFFFFFFF0u), 0u);
  WCHAR path[MAX_PATH];
  ASSERT_EQ(GetModuleName(path, 0), 1);
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
  ASSERT_GT(n, 0);
  self[n] = 0;
  EXPECT_EQ(Narrow(path), self);
}

}  // namespace
