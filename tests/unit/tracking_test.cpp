// The record table, the tree scan and exit watching, staged on the
// simulated platform: what real processes cannot show on demand.
#include <gtest/gtest.h>

#include "platform/wide_text.h"
#include "tests/unit/program_state.h"
#include "tracking/exit_watch.h"
#include "tracking/tree_scan.h"

namespace {

constexpr DWORD Shell = 50;
constexpr DWORD Self = 100;
const std::uint64_t Created = sim::FileTimeOf(2026, 1, 2, 3, 0, 0);

class TrackingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProgramState();
    sim::AddProcess(Shell, 1, "cmd.exe", "C:\\Windows\\System32\\cmd.exe", Created);
    sim::SetSelf(Self, Shell);
  }
  void TearDown() override {
    ASSERT_TRUE(sim::WaitForThreadsIdle());
    EXPECT_EQ(sim::HandleMisuseCount(), 0) << ::testing::PrintToString(sim::MisuseReports());
    EXPECT_EQ(sim::OpenHandleCount("snapshot"), 0);
    EXPECT_EQ(sim::OpenHandleCount("file"), 0);
    EXPECT_EQ(sim::LiveHeapBlocks(), 0);
  }

  // The shell's tree: Tolvane itself, a worker with two children, a tool
  // whose path cannot be read.
  void AddTree() {
    sim::AddProcess(200, Shell, "worker.exe", "C:\\jobs\\worker.exe", Created + 1);
    sim::AddProcess(201, Shell, "tool.exe", "", Created + 2);
    sim::AddProcess(300, 200, "child.exe", "C:\\jobs\\child.exe", Created + 3);
    sim::AddProcess(301, 200, "child.exe", "C:\\jobs\\child.exe", Created + 4);
  }

  static std::string Name(DWORD i) { return Narrow(DataArray[i].ExeName); }
  static std::string Path(DWORD i) { return Narrow(DataArray[i].FilePathName); }
};

TEST_F(TrackingTest, ScanRecordsTheTreeDepthFirstAndWatchesEveryProcess) {
  AddTree();
  ASSERT_EQ(GetProcessList(Shell), 1);
  ASSERT_EQ(RecordCount, 5u);

  struct Expected {
    DWORD parent, pid, children;
    const char* name;
    const char* path;
    std::uint64_t start;
  } expected[] = {
      {Shell, Self, 0, "Tolvane.exe", nullptr, 0},
      {Shell, 200, 2, "worker.exe", "C:\\jobs\\worker.exe", Created + 1},
      {200, 300, 0, "child.exe", "C:\\jobs\\child.exe", Created + 3},
      {200, 301, 0, "child.exe", "C:\\jobs\\child.exe", Created + 4},
      {Shell, 201, 0, "tool.exe", "tool.exe", Created + 2},
  };
  for (DWORD i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    const ProcessData record = ReadRecord(i);
    EXPECT_EQ(record.Valid, 1u);
    EXPECT_EQ(record.ParentID, expected[i].parent);
    EXPECT_EQ(record.ProcessID, expected[i].pid);
    EXPECT_EQ(record.SubProcessNo, expected[i].children);
    EXPECT_EQ(Name(i), expected[i].name);
    if (expected[i].path != nullptr) {
      EXPECT_EQ(Path(i), expected[i].path);
    }
    if (expected[i].start != 0) {
      EXPECT_EQ(FileTimeValue(record.tStart), expected[i].start);
    }
    EXPECT_NE(record.Handle, nullptr);
    EXPECT_EQ(record.HandleOpen, 1u);
    EXPECT_EQ(record.HandleClosed, 0u);
    EXPECT_NE(record.WaiterThread, nullptr);
    EXPECT_EQ(FileTimeValue(record.tEnd), 0u);
  }
  EXPECT_EQ(sim::ThreadsStarted(), 5);
}

TEST_F(TrackingTest, WaiterCompletesTheRecordAndReleasesTheHandleOnce) {
  AddTree();
  ASSERT_EQ(GetProcessList(Shell), 1);
  const int openBefore = sim::OpenHandleCount("process");
  const std::uint64_t ended = Created + 1234567890;
  sim::EndProcess(300, 3, ended, 40000, 70000);
  ASSERT_TRUE(WaitForRecordEnded(2));

  const ProcessData record = ReadRecord(2);
  EXPECT_EQ(record.ExitCode, 3u);
  EXPECT_EQ(FileTimeValue(record.tStart), Created + 3);
  EXPECT_EQ(FileTimeValue(record.tEnd), ended);
  EXPECT_EQ(FileTimeValue(record.KernelTime), 40000u);
  EXPECT_EQ(FileTimeValue(record.UserTime), 70000u);
  EXPECT_EQ(record.HandleOpen, 0u);
  EXPECT_EQ(record.HandleClosed, 1u);
  EXPECT_EQ(record.LostClose, 0u);
  EXPECT_NE(record.Handle, nullptr) << "the value stays for display";
  EXPECT_EQ(sim::OpenHandleCount("process"), openBefore - 1);

  // The ended process is gone from the next scan; its record stays as it was.
  ASSERT_EQ(GetProcessList(Shell), 1);
  EXPECT_EQ(RecordCount, 5u);
  EXPECT_EQ(ReadRecord(2).ExitCode, 3u);
  EXPECT_EQ(FileTimeValue(ReadRecord(2).tEnd), ended);
}

TEST_F(TrackingTest, PathReadOnceIsKeptWhenALaterReadFails) {
  AddTree();
  ASSERT_EQ(GetProcessList(Shell), 1);
  sim::Fail(sim::Op::ModuleSnapshot, 0);
  ASSERT_EQ(GetProcessList(Shell), 1);
  EXPECT_EQ(Path(1), "C:\\jobs\\worker.exe");
  EXPECT_EQ(Path(4), "tool.exe") << "never read: the name stands in";
}

TEST_F(TrackingTest, ScanRefreshesTheTimesOfWatchedProcesses) {
  AddTree();
  ASSERT_EQ(GetProcessList(Shell), 1);
  sim::SetCpuTimes(200, 111, 222);
  ASSERT_EQ(GetProcessList(Shell), 1);
  EXPECT_EQ(FileTimeValue(ReadRecord(1).KernelTime), 111u);
  EXPECT_EQ(FileTimeValue(ReadRecord(1).UserTime), 222u);
}

TEST_F(TrackingTest, ReusedPidFallsOnTheEndedRecordWithoutANewWatch) {
  AddTree();
  ASSERT_EQ(GetProcessList(Shell), 1);
  sim::EndProcess(300, 7, Created + 500, 5, 6);
  ASSERT_TRUE(WaitForRecordEnded(2));
  const int threads = sim::ThreadsStarted();
  const int opens = sim::CallCount(sim::Op::OpenProcess);

  // Same parent, same PID, the same name but for ASCII case.
  sim::AddProcess(300, 200, "CHILD.EXE", "C:\\jobs\\CHILD.EXE", Created + 900);
  ASSERT_EQ(GetProcessList(Shell), 1);
  EXPECT_EQ(RecordCount, 5u);
  const ProcessData record = ReadRecord(2);
  EXPECT_EQ(record.ExitCode, 7u);
  EXPECT_EQ(FileTimeValue(record.tStart), Created + 3);
  EXPECT_EQ(FileTimeValue(record.tEnd), Created + 500);
  EXPECT_EQ(record.HandleClosed, 1u);
  EXPECT_EQ(sim::ThreadsStarted(), threads);
  EXPECT_EQ(sim::CallCount(sim::Op::OpenProcess), opens);
}

TEST_F(TrackingTest, RecordsAreKeyedByParentPidAndName) {
  AddTree();
  ASSERT_EQ(GetProcessList(Shell), 1);
  // The same PID and name under another parent is another record.
  sim::SetParent(301, Shell);
  ASSERT_EQ(GetProcessList(Shell), 1);
  ASSERT_EQ(RecordCount, 6u);
  EXPECT_EQ(ReadRecord(5).ParentID, Shell);
  EXPECT_EQ(ReadRecord(5).ProcessID, 301u);

  const std::u16string upper = u"CHILD.exe";
  EXPECT_EQ(GetProcessIndex(upper.c_str(), 200, 300), 2u);
  const std::u16string accented = u"chÍld.exe";  // only ASCII letters fold
  EXPECT_EQ(GetProcessIndex(accented.c_str(), 200, 300), 6u);
  EXPECT_EQ(RecordCount, 7u);
}

TEST_F(TrackingTest, ScanEndsOnParentLoopsAndFromParentZero) {
  // 400 and 401 are each other's parent (reused PIDs); 0 is its own parent.
  sim::AddProcess(0, 0, "[System Process]", "");
  sim::AddProcess(400, Shell, "a.exe", "");
  sim::AddProcess(401, 400, "b.exe", "");
  sim::SetParent(400, 401);
  ASSERT_EQ(GetProcessList(400), 1);
  EXPECT_EQ(RecordCount, 2u);

  ASSERT_EQ(GetProcessList(0), 1);
  // Every live process once, by its own parent: 0, the shell, self, 400, 401.
  EXPECT_EQ(RecordCount, 5u);
}

TEST_F(TrackingTest, FullTablePassesOverFurtherProcesses) {
  for (DWORD pid = 1000; pid < 1000 + DataArraySize + 50; ++pid)
    sim::AddProcess(pid, Shell, "many.exe", "");
  EXPECT_EQ(GetProcessList(Shell), 1);
  EXPECT_EQ(RecordCount, DataArraySize);
  EXPECT_EQ(ReadRecord(DataArraySize - 1).ProcessID, 1000 + DataArraySize - 2);
  EXPECT_EQ(GetProcessIndex(u"new.exe", 1, 2), NoFreeRecord);
  EXPECT_EQ(RecordCount, DataArraySize);
}

TEST_F(TrackingTest, ProcessThatCannotBeOpenedIsRecordedAndRetriedNextScan) {
  AddTree();
  sim::SetOpenable(201, false);
  ASSERT_EQ(GetProcessList(Shell), 1);
  ProcessData record = ReadRecord(4);
  EXPECT_EQ(record.ProcessID, 201u);
  EXPECT_EQ(record.Handle, nullptr);
  EXPECT_EQ(record.HandleOpen, 0u);
  EXPECT_EQ(record.WaiterThread, nullptr);
  EXPECT_EQ(FileTimeValue(record.tStart), 0u);

  sim::SetOpenable(201, true);
  ASSERT_EQ(GetProcessList(Shell), 1);
  record = ReadRecord(4);
  EXPECT_NE(record.Handle, nullptr);
  EXPECT_EQ(record.HandleOpen, 1u);
  EXPECT_EQ(FileTimeValue(record.tStart), Created + 2);
}

TEST_F(TrackingTest, FailedExitCodeReadGives0xFFFF) {
  AddTree();
  ASSERT_EQ(GetProcessList(Shell), 1);
  sim::Fail(sim::Op::GetExitCodeProcess, 0);
  sim::EndProcess(301, 4);
  ASSERT_TRUE(WaitForRecordEnded(3));
  EXPECT_EQ(ReadRecord(3).ExitCode, 0xFFFFu);
}

TEST_F(TrackingTest, PollMarksAnEndTheWaiterHasNotReportedAndTheWaiterStillReleases) {
  AddTree();
  ASSERT_EQ(GetProcessList(Shell), 1);
  sim::HoldWaiters(true);
  sim::EndProcess(300, 3);
  sim::EndProcess(301, STILL_ACTIVE);
  CheckLostClose();

  ProcessData ended = ReadRecord(2);
  EXPECT_EQ(ended.LostClose, 1u);
  EXPECT_EQ(ended.EndExitCode, 3u);
  EXPECT_EQ(ended.HandleOpen, 1u);
  EXPECT_EQ(ended.HandleClosed, 0u);
  // 259 reads as still running: left to the waiter.
  EXPECT_EQ(ReadRecord(3).LostClose, 0u);
  // A second poll leaves a marked record as it was.
  CheckLostClose();
  EXPECT_EQ(ReadRecord(2).EndExitCode, 3u);

  const int open = sim::OpenHandleCount("process");
  sim::HoldWaiters(false);
  ASSERT_TRUE(WaitForRecordEnded(2));
  ASSERT_TRUE(WaitForRecordEnded(3));
  EXPECT_EQ(ReadRecord(2).ExitCode, 3u);
  EXPECT_EQ(ReadRecord(2).LostClose, 1u);
  EXPECT_EQ(ReadRecord(3).ExitCode, STILL_ACTIVE);
  EXPECT_EQ(sim::OpenHandleCount("process"), open - 2);
}

TEST_F(TrackingTest, LookupsAnswerFromTheProcessList) {
  AddTree();
  EXPECT_EQ(GetParentProcessID(Self), Shell);
  EXPECT_EQ(GetParentProcessID(300), 200u);
  EXPECT_EQ(GetParentProcessID(999), 0u) << "a PID not in the list";
  DWORD count = 99;
  EXPECT_EQ(GetSubProcessNo(200, &count), 1);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(GetSubProcessNo(0, &count), 1);
  EXPECT_EQ(count, 6u);

  sim::Fail(sim::Op::ProcessSnapshot);
  EXPECT_EQ(GetParentProcessID(Self), 0u);
  sim::Fail(sim::Op::Process32First);
  EXPECT_EQ(GetSubProcessNo(200, &count), 0);
  EXPECT_EQ(count, 0u);

  WCHAR path[MAX_PATH] = u"untouched";
  EXPECT_EQ(GetModuleName(path, 201), 0);
  EXPECT_EQ(Narrow(path), "untouched");
  EXPECT_EQ(GetModuleName(path, 200), 1);
  EXPECT_EQ(Narrow(path), "C:\\jobs\\worker.exe");
}

// Every call the scan makes can fail, at any point of a scan: nothing is
// left open or released twice, the failure costs at most what was not yet
// walked, and the next scan completes the table.
TEST_F(TrackingTest, AFailureAnywhereInAScanIsMadeGoodByTheNextScan) {
  const sim::Op ops[] = {sim::Op::ProcessSnapshot, sim::Op::Process32First, sim::Op::Process32Next,
                         sim::Op::ModuleSnapshot,  sim::Op::Module32First,  sim::Op::OpenProcess,
                         sim::Op::GetProcessTimes, sim::Op::CreateThread,   sim::Op::CloseHandle};
  for (sim::Op op : ops) {
    for (int k = 1; k <= 14; ++k) {
      SCOPED_TRACE(::testing::Message() << "op " << static_cast<int>(op) << " call " << k);
      ResetProgramState();
      sim::AddProcess(Shell, 1, "cmd.exe", "C:\\cmd.exe", Created);
      sim::SetSelf(Self, Shell);
      AddTree();
      sim::Fail(op, k);
      GetProcessList(Shell);
      EXPECT_LE(RecordCount, 5u);
      EXPECT_EQ(sim::OpenHandleCount("snapshot"), 0);

      sim::ClearFaults();
      ASSERT_EQ(GetProcessList(Shell), 1);
      ASSERT_EQ(RecordCount, 5u);
      for (DWORD i = 0; i < 5; ++i) {
        const ProcessData record = ReadRecord(i);
        EXPECT_EQ(record.HandleOpen, 1u) << i;
        EXPECT_NE(record.WaiterThread, nullptr) << i;
        EXPECT_NE(record.tStart.dwHighDateTime, 0u) << i;
      }
      ASSERT_TRUE(sim::WaitForThreadsIdle());
      EXPECT_EQ(sim::HandleMisuseCount(), 0) << ::testing::PrintToString(sim::MisuseReports());
    }
  }
}

TEST_F(TrackingTest, ChildCountFailureAbandonsTheLevelAndKeepsTheHandleWithItsWaiter) {
  AddTree();
  // Snapshots: the level (1), the first record's child count (2).
  sim::Fail(sim::Op::ProcessSnapshot, 2);
  EXPECT_EQ(GetProcessList(Shell), 0);
  ASSERT_EQ(RecordCount, 1u);
  EXPECT_EQ(ReadRecord(0).HandleOpen, 1u);
  const int open = sim::OpenHandleCount("process");
  sim::EndProcess(Self, 0);
  ASSERT_TRUE(WaitForRecordEnded(0));
  EXPECT_EQ(sim::OpenHandleCount("process"), open - 1);
}

}  // namespace
