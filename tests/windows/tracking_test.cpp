// The tree scan and the exit watching on real Win32 processes: copies of
// this executable form a small tree below the test, and the test, as their
// parent, scans it into the record table and follows the records until
// every process has ended.
//
// The record table lives as long as the test process, as it lives for the
// program's whole run, so the test holds for one run per process: under
// --gtest_repeat a PID of an earlier tree can come back and fall, rightly,
// on that tree's ended record.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/windows/child_process.h"
#include "tracking/process_table.h"
#include "tracking/tree_scan.h"

namespace {

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  return text;
}

std::vector<DWORD> RecordsWithParent(DWORD parent) {
  std::vector<DWORD> found;
  for (DWORD i = 0; i < RecordCount; ++i)
    if (ReadRecord(i).ParentID == parent) found.push_back(i);
  return found;
}

bool RecordEnded(DWORD index) {
  const ProcessData record = ReadRecord(index);
  return record.HandleClosed == 1;
}

class TrackingTree : public testing::Test {
 protected:
  void SetUp() override {
    const std::wstring prefix = L"tolvane_tree_" + std::to_wstring(GetCurrentProcessId()) + L"_";
    for (int i = 0; i < 3; ++i) {
      eventNames[i] = prefix + std::to_wstring(i);
      release[i] = CreateEventW(nullptr, TRUE, FALSE, eventNames[i].c_str());
      ASSERT_NE(release[i], nullptr);
    }
    readyName = prefix + L"ready";
    ready = CreateSemaphoreW(nullptr, 0, 3, readyName.c_str());
    ASSERT_NE(ready, nullptr);
  }

  // Whatever a failed test left running ends on its event.
  void TearDown() override {
    for (HANDLE event : release)
      if (event != nullptr) SetEvent(event);
    FinishChild(&top);
    for (HANDLE event : release)
      if (event != nullptr) CloseHandle(event);
    if (ready != nullptr) CloseHandle(ready);
  }

  std::wstring eventNames[3];
  HANDLE release[3] = {nullptr, nullptr, nullptr};
  std::wstring readyName;
  HANDLE ready = nullptr;  // released once by each process of the tree
  Child top;
};

void ExpectWatchedCopyOfThisProgram(const ProcessData& record, DWORD parent, DWORD children) {
  EXPECT_EQ(record.Valid, 1u);
  EXPECT_EQ(record.ParentID, parent);
  EXPECT_EQ(Lower(record.ExeName), Lower(OwnName()));
  EXPECT_EQ(Lower(record.FilePathName), Lower(OwnPath()));
  EXPECT_EQ(record.SubProcessNo, children);
  EXPECT_NE(record.Handle, nullptr);
  EXPECT_NE(record.WaiterThread, nullptr);
  EXPECT_EQ(record.HandleOpen, 1u);
  EXPECT_EQ(record.HandleClosed, 0u);
  EXPECT_NE(FileTimeValue(record.tStart), 0u);
  EXPECT_EQ(FileTimeValue(record.tEnd), 0u) << "exit time of a running process";
}

void ExpectEndedWith(const ProcessData& record, DWORD exitCode) {
  EXPECT_EQ(record.ExitCode, exitCode);
  EXPECT_EQ(record.HandleOpen, 0u);
  EXPECT_EQ(record.HandleClosed, 1u);
  EXPECT_EQ(record.LostClose, 0u);
  EXPECT_NE(FileTimeValue(record.tEnd), 0u);
  EXPECT_GE(FileTimeValue(record.tEnd), FileTimeValue(record.tStart));
}

TEST_F(TrackingTree, ScanRecordsTheTreeAndEachWaiterCompletesItsRecord) {
  // The top child exits with 5 and has two children of its own: one exits
  // with 3, the other runs until the test terminates it with 9.
  const std::wstring arguments = L"--tree " + readyName + L" 5 " + eventNames[0] + L" 3 " +
                                 eventNames[1] + L" 0 " + eventNames[2];
  ASSERT_TRUE(StartChild(OwnPath(), arguments, ChildInput{}, DETACHED_PROCESS, &top));
  for (int member = 0; member < 3; ++member)
    ASSERT_EQ(WaitForSingleObject(ready, Patience), WAIT_OBJECT_0) << "the tree did not form";

  const DWORD self = GetCurrentProcessId();
  ASSERT_EQ(GetProcessList(self), 1);
  const DWORD recordsAfterFirstScan = RecordCount;

  DWORD topIndex = NoFreeRecord;
  for (DWORD i : RecordsWithParent(self))
    if (ReadRecord(i).ProcessID == top.pid) topIndex = i;
  ASSERT_NE(topIndex, NoFreeRecord) << "no record of the child";
  const std::vector<DWORD> grandchildren = RecordsWithParent(top.pid);
  ASSERT_EQ(grandchildren.size(), 2u);

  const ProcessData topRecord = ReadRecord(topIndex);
  ExpectWatchedCopyOfThisProgram(topRecord, self, 2);
  for (DWORD i : grandchildren) {
    SCOPED_TRACE("grandchild");
    const ProcessData record = ReadRecord(i);
    ExpectWatchedCopyOfThisProgram(record, top.pid, 0);
    EXPECT_NE(record.ProcessID, top.pid);
    EXPECT_GE(FileTimeValue(record.tStart), FileTimeValue(topRecord.tStart))
        << "a child created before its parent";
  }
  EXPECT_NE(ReadRecord(grandchildren[0]).ProcessID, ReadRecord(grandchildren[1]).ProcessID);

  // A scan of the same tree finds every process on its record.
  ASSERT_EQ(GetProcessList(self), 1);
  EXPECT_EQ(RecordCount, recordsAfterFirstScan);

  // The grandchild released first is the one whose waiter reports first.
  SetEvent(release[1]);
  ASSERT_TRUE(WaitUntil(
      [&] { return RecordEnded(grandchildren[0]) || RecordEnded(grandchildren[1]); }, Patience));
  const bool firstEnded = RecordEnded(grandchildren[0]);
  const DWORD exited = firstEnded ? grandchildren[0] : grandchildren[1];
  const DWORD running = firstEnded ? grandchildren[1] : grandchildren[0];
  ExpectEndedWith(ReadRecord(exited), 3);
  EXPECT_EQ(ReadRecord(running).HandleOpen, 1u) << "ended without being told to";

  HANDLE victim = OpenProcess(PROCESS_TERMINATE, FALSE, ReadRecord(running).ProcessID);
  ASSERT_NE(victim, nullptr);
  EXPECT_TRUE(TerminateProcess(victim, 9));
  CloseHandle(victim);
  ASSERT_TRUE(WaitUntil([&] { return RecordEnded(running); }, Patience));
  ExpectEndedWith(ReadRecord(running), 9);

  SetEvent(release[0]);
  ASSERT_TRUE(WaitUntil([&] { return RecordEnded(topIndex); }, Patience));
  ExpectEndedWith(ReadRecord(topIndex), 5);

  // Ended processes leave the snapshots; their records stay as written.
  ASSERT_EQ(GetProcessList(self), 1);
  EXPECT_EQ(RecordCount, recordsAfterFirstScan);
  ExpectEndedWith(ReadRecord(exited), 3);
}

}  // namespace
