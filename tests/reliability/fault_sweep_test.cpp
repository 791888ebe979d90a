// Every platform call the program makes that can fail, made to fail in
// turn: for each operation and each k reached by a short run of the whole
// program (start-up, scans, processes ending, one of them before its waiter
// reports, a periodic save, Esc and the final save), the k-th call fails
// once, and in a second sweep every call from the k-th on fails. Whatever
// fails, the run must not crash or hang, leak heap blocks, snapshots or
// files, misuse a handle, keep a handle of a process that has ended, or
// leave a log that is not whole; and it must end with the code the failure
// calls for.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "presentation/log_file.h"
#include "tests/reliability/log_check.h"
#include "tests/unit/program_state.h"

namespace {

constexpr std::uint64_t Ms = 10000;  // 100-ns units

struct Moment {
  std::uint64_t ms;
  void (*action)();
};

// Moments are the simulated clock's, after start-up.
const Moment Scenario[] = {
    {1600, [] { sim::AddProcess(400, 200, "brief.exe", "C:\\jobs\\brief.exe"); }},
    {2600, [] { sim::EndProcess(300, 3); }},
    {3100, [] { sim::EndProcess(400, 0x101); }},
    // An end the lost-close poll of the save at 6 s finds before the waiter.
    {5800, [] { sim::HoldWaiters(true); }},
    {5850, [] { sim::EndProcess(500, 9); }},
    {6300, [] { sim::HoldWaiters(false); }},
    {6600, [] { sim::PushKey(0x1B); }},
    // A final save that fails for good waits for one more key: after no
    // memory for the text, any key; while the file cannot be written, Esc.
    {30000, [] { sim::PushKey(0x1B); }},
};

struct RunResult {
  unsigned code = 0;
  std::vector<std::string> problems;
};

void Note(RunResult& run, bool ok, const std::string& what) {
  if (!ok) run.problems.push_back(what);
}

RunResult RunScenario(sim::Op op, int nth, int times) {
  ResetProgramState();
  sim::AddProcess(50, 1, "cmd.exe", "C:\\Windows\\System32\\cmd.exe");
  sim::SetSelf(100, 50);
  sim::AddProcess(200, 50, "worker.exe", "C:\\jobs\\worker.exe");
  sim::AddProcess(300, 200, "child.exe", "");  // its module list cannot be read
  sim::AddProcess(500, 50, "late.exe", "C:\\jobs\\late.exe");
  sim::SetSleepLimit(3000);
  const std::uint64_t start = sim::Clock();
  std::size_t next = 0;
  sim::OnSleep([&] {
    while (next < std::size(Scenario) && sim::Clock() - start >= Scenario[next].ms * Ms)
      Scenario[next++].action();
  });
  if (op != sim::Op::Count) sim::Fail(op, nth, times, ERROR_ACCESS_DENIED);

  RunResult run;
  run.code = RunProgram({"-dt", "2"});
  sim::OnSleep(nullptr);
  sim::ClearFaults();
  sim::HoldWaiters(false);

  Note(run, sim::WaitForThreadsIdle(), "threads still running");
  Note(run, sim::HandleMisuseCount() == 0, "handle misuse");
  for (const std::string& report : sim::MisuseReports()) run.problems.push_back(report);
  Note(run, sim::OpenHandleCount("snapshot") == 0, "snapshot left open");
  Note(run, sim::OpenHandleCount("file") == 0, "file left open");
  Note(run, sim::LiveHeapBlocks() == 0, "heap blocks left");
  // Records own the handles of processes still running, and nothing else.
  int held = 0;
  for (DWORD i = 0; i < RecordCount; ++i) {
    const ProcessData record = ReadRecord(i);
    if (record.Handle == nullptr || record.HandleClosed != 0) continue;
    ++held;
    Note(run, sim::IsAlive(record.ProcessID),
         "handle kept for ended process " + std::to_string(record.ProcessID));
  }
  Note(run, sim::OpenHandleCount("process") == held, "process handles not owned by records");
  const std::string log = sim::ReadFileBytes(sim::ProgramFolder() + "/Tolvane0.log");
  if (!log.empty() || run.code == 0) {
    const LogCheck check = CheckLog(log);
    Note(run, check.whole, "log not whole: " + check.problem);
    if (run.code == 0) Note(run, check.records.size() == RecordCount, "final log misses records");
  }
  return run;
}

const char* OpName(sim::Op op) {
  static const char* const names[] = {
      "ProcessSnapshot",    "ModuleSnapshot",  "Process32First",
      "Process32Next",      "Module32First",   "OpenProcess",
      "GetExitCodeProcess", "GetProcessTimes", "CreateThread",
      "CreateFile",         "WriteFile",       "ShortWrite",
      "FlushFileBuffers",   "MoveFile",        "DeleteFile",
      "HeapAlloc",          "FormatMessage",   "WideCharToMultiByte",
      "CloseHandle"};
  return names[static_cast<int>(op)];
}

// The codes a failing operation may end the run with. A failed step of a
// save is retried, so one failure still ends with 0; a save step that fails
// for good ends with 255 once Esc stops the retries. No memory for a save's
// text ends the run with 255 at once. Failures in scans, watches and text
// conversion are made good by the next scan or only cost a field.
struct Expectation {
  sim::Op op;
  unsigned once;
  unsigned always;
};

const Expectation Expected[] = {
    {sim::Op::ProcessSnapshot, 0, 0},    {sim::Op::ModuleSnapshot, 0, 0},
    {sim::Op::Process32First, 0, 0},     {sim::Op::Process32Next, 0, 0},
    {sim::Op::Module32First, 0, 0},      {sim::Op::OpenProcess, 0, 0},
    {sim::Op::GetExitCodeProcess, 0, 0}, {sim::Op::GetProcessTimes, 0, 0},
    {sim::Op::CreateThread, 0, 0},       {sim::Op::CreateFile, 0, 255},
    {sim::Op::WriteFile, 0, 255},        {sim::Op::ShortWrite, 0, 255},
    {sim::Op::FlushFileBuffers, 0, 255}, {sim::Op::MoveFile, 0, 255},
    {sim::Op::DeleteFile, 0, 0},         {sim::Op::HeapAlloc, 255, 255},
    {sim::Op::FormatMessage, 0, 0},      {sim::Op::WideCharToMultiByte, 0, 0},
    {sim::Op::CloseHandle, 0, 0},
};

// Calls of each operation in the run without faults.
std::vector<int> BaselineCalls() {
  const RunResult run = RunScenario(sim::Op::Count, 0, 0);
  EXPECT_EQ(run.code, 0u);
  EXPECT_TRUE(run.problems.empty()) << run.problems.front();
  std::vector<int> calls;
  for (int op = 0; op < static_cast<int>(sim::Op::Count); ++op)
    calls.push_back(sim::CallCount(static_cast<sim::Op>(op)));
  return calls;
}

class FaultSweep : public ::testing::TestWithParam<bool> {};

TEST_P(FaultSweep, EveryCallFailingLeavesARunThatEndsCleanly) {
  const bool always = GetParam();
  const std::vector<int> calls = BaselineCalls();
  // The creation probe of start-up is not the only file call.
  ASSERT_GT(calls[static_cast<int>(sim::Op::CreateFile)], 2);
  int runs = 0;
  for (const Expectation& expected : Expected) {
    const int count = calls[static_cast<int>(expected.op)];
    for (int k = 1; k <= count; ++k) {
      const RunResult run = RunScenario(expected.op, k, always ? 1000000 : 1);
      ++runs;
      std::ostringstream where;
      where << OpName(expected.op) << " failing at call " << k << (always ? " and after" : "");
      for (const std::string& problem : run.problems)
        ADD_FAILURE() << where.str() << ": " << problem;
      EXPECT_EQ(run.code, always ? expected.always : expected.once) << where.str();
    }
  }
  std::printf("fault sweep: %d runs\n", runs);
  EXPECT_GT(runs, 200);
}

INSTANTIATE_TEST_SUITE_P(OnceOrFromThenOn, FaultSweep, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "FromKOn" : "KthCallOnce";
                         });

}  // namespace
