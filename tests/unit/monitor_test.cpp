// The whole program on the simulated clock: start-up, the tick loop's due
// times, the saving schedule, retries and every way the run ends.
#include <gtest/gtest.h>

#include "control/settings.h"
#include "presentation/log_file.h"
#include "tests/unit/program_state.h"

namespace {

constexpr std::uint64_t Ms = 10000;  // 100-ns units

// What happened at which moment of a run, sampled at every Sleep.
struct Sample {
  std::uint64_t ms;
  int scans, redraws, saves;
};

class MonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProgramState();
    sim::AddProcess(50, 1, "cmd.exe", "C:\\Windows\\System32\\cmd.exe");
    sim::SetSelf(100, 50);
    sim::AddProcess(200, 50, "worker.exe", "C:\\jobs\\worker.exe");
    start = sim::Clock();
    sim::SetSleepLimit(20000);
    sim::OnSleep([this] { Sampled(); });
  }
  void TearDown() override {
    sim::OnSleep(nullptr);
    EXPECT_TRUE(sim::WaitForThreadsIdle());
    EXPECT_EQ(sim::HandleMisuseCount(), 0);
    EXPECT_EQ(sim::OpenHandleCount("snapshot"), 0);
    EXPECT_EQ(sim::OpenHandleCount("file"), 0);
    EXPECT_EQ(sim::LiveHeapBlocks(), 0);
  }

  std::uint64_t Now() const { return (sim::Clock() - start) / Ms; }

  void Sampled() {
    samples.push_back({Now(), scans(), sim::ClearCount(), sim::CallCount(sim::Op::MoveFile)});
    for (auto& [at, action] : actions)
      if (action && Now() >= at) {
        auto run = std::move(action);
        action = nullptr;
        run();
      }
  }
  void At(std::uint64_t ms, std::function<void()> action) {
    actions.emplace_back(ms, std::move(action));
  }
  void EscAt(std::uint64_t ms) {
    At(ms, [] { sim::PushKey(0x1B); });
  }

  // Moments (ms after start) at which a counter went up: the work of a tick
  // happens after the Sleep whose sample precedes the increase.
  std::vector<std::uint64_t> Moments(int Sample::*counter) const {
    std::vector<std::uint64_t> moments;
    for (std::size_t i = 1; i < samples.size(); ++i)
      if (samples[i].*counter > samples[i - 1].*counter) moments.push_back(samples[i - 1].ms);
    return moments;
  }

  std::string Log() { return sim::ReadFileBytes(sim::ProgramFolder() + "/Tolvane0.log"); }
  // Every scan takes a module snapshot of each process it records.
  static int scans() { return sim::CallCount(sim::Op::ModuleSnapshot); }

  std::uint64_t start = 0;
  std::vector<Sample> samples;
  std::vector<std::pair<std::uint64_t, std::function<void()>>> actions;
};

std::vector<std::uint64_t> Every(std::uint64_t from, std::uint64_t step, std::uint64_t to) {
  std::vector<std::uint64_t> moments;
  for (std::uint64_t t = from; t <= to; t += step) moments.push_back(t);
  return moments;
}

TEST_F(MonitorTest, DefaultTimersScanEachSecondRedrawAndSaveOnTheFirstScanPastFive) {
  EscAt(12600);
  EXPECT_EQ(RunProgram({}), 0u);
  // The scan of the stopping tick comes after the last sample.
  EXPECT_EQ(Moments(&Sample::scans), Every(1000, 1000, 12000));
  EXPECT_EQ(Moments(&Sample::redraws), (std::vector<std::uint64_t>{6000, 12000}));
  EXPECT_EQ(Moments(&Sample::saves), (std::vector<std::uint64_t>{6000, 12000}));
  // The final save after Esc.
  EXPECT_EQ(sim::CallCount(sim::Op::MoveFile), 3);
  EXPECT_EQ(sim::ClearCount(), 3) << "start-up and two redraws";
  EXPECT_NE(Log().find("ProcessID=000000C8"), std::string::npos);
  const std::string out = sim::Output();
  EXPECT_EQ(out.substr(out.size() - 15), "\nReturn_Code=0\n");
}

TEST_F(MonitorTest, ZeroTimersScanAndRedrawOnEveryTick) {
  EscAt(1100);
  EXPECT_EQ(RunProgram({"-ct", "0", "-dt", "0"}), 0u);
  EXPECT_EQ(Moments(&Sample::scans), Every(250, 250, 1000));
  EXPECT_EQ(Moments(&Sample::redraws), Every(250, 250, 1000));
}

TEST_F(MonitorTest, EscIsReadOnScanTicksOnly) {
  sim::PushKey(0x1B);
  EXPECT_EQ(RunProgram({"-ct", "3"}), 0u);
  EXPECT_EQ(sim::SleepCount(), 12);
  EXPECT_EQ(sim::CallCount(sim::Op::MoveFile), 1) << "the final save only";
  EXPECT_FALSE(Log().empty());
}

TEST_F(MonitorTest, StopSignalEndsAtTheNextTickWithTheFinalSave) {
  At(2600, [] { sim::RequestStop(); });
  EXPECT_EQ(RunProgram({"-ct", "3600"}), 0u);
  EXPECT_EQ(Now(), 2750u);
  EXPECT_EQ(sim::CallCount(sim::Op::MoveFile), 1);
  EXPECT_NE(Log().find("ProcessID=000000C8"), std::string::npos);
}

TEST_F(MonitorTest, NearlyFullTableStopsWithItsNoteAnd255) {
  for (DWORD pid = 1000; pid < 1901; ++pid) sim::AddProcess(pid, 50, "many.exe", "");
  // 903 records now, 1002 after the next scan.
  At(500, [] {
    for (DWORD pid = 2000; pid < 2099; ++pid) sim::AddProcess(pid, 50, "more.exe", "");
  });
  EXPECT_EQ(RunProgram({}), 255u);
  EXPECT_EQ(RecordCount, 1002u);
  EXPECT_EQ(sim::MessageBoxes(), std::vector<std::string>{"Data array is out of memory!!"});
  const std::string log = Log();
  ASSERT_GE(log.size(), 32u);
  EXPECT_EQ(log.substr(log.size() - 31), std::string("Data array is out of memory!!\n") + '\0');
  EXPECT_EQ(Now(), 1000u);
}

TEST_F(MonitorTest, FailedCreationIsRetriedEvery100MsAndNotedFromThenOn) {
  // Call 1 is the start-up probe for the log's name; the save at 6 s fails
  // three times.
  sim::Fail(sim::Op::CreateFile, 2, 3, ERROR_ACCESS_DENIED);
  EscAt(6500);
  EXPECT_EQ(RunProgram({}), 0u);
  EXPECT_EQ(sim::CallCount(sim::Op::CreateFile), 1 + 4 + 1);
  EXPECT_EQ(Moments(&Sample::saves), (std::vector<std::uint64_t>{6300}));
  const std::string note =
      "\n  WARNING: blFileSave(): Create file failed with error 5 (Access is denied)";
  EXPECT_NE(Log().find(note + '\0'), std::string::npos);
}

TEST_F(MonitorTest, NoMemoryForASaveEndsTheRunWith255) {
  sim::Fail(sim::Op::HeapAlloc, 0);
  At(7000, [] { sim::PushKey('k'); });
  EXPECT_EQ(RunProgram({}), 255u);
  EXPECT_EQ(sim::MessageBoxes(),
            std::vector<std::string>{"FileSave(): Can't allocate memory to list process!"});
  EXPECT_EQ(sim::CallCount(sim::Op::MoveFile), 0);
  EXPECT_EQ(sim::PendingKeys(), 1u);
}

TEST_F(MonitorTest, EscEndsASaveThatCanNeverSucceedAfterBoundedFinalTries) {
  sim::Fail(sim::Op::MoveFile, 0, 1, ERROR_SHARING_VIOLATION);
  EscAt(6450);
  EXPECT_EQ(RunProgram({}), 255u);
  // The save at 6 s and its retries until Esc, then 1 + 20 final tries.
  EXPECT_EQ(sim::CallCount(sim::Op::MoveFile), 5 + 21);
}

TEST_F(MonitorTest, FinalSaveThatCanNeverSucceedEndsTheRunAfterItsLastTries) {
  sim::Fail(sim::Op::MoveFile, 0, 1, ERROR_SHARING_VIOLATION);
  sim::PushKey(0x1B);
  EXPECT_EQ(RunProgram({}), 255u) << "the log could not be written";
  EXPECT_EQ(sim::CallCount(sim::Op::MoveFile), 21);
  EXPECT_EQ(Now(), 1000u + 20 * 100u);
}

TEST_F(MonitorTest, DebugModeWaitsForAKeyBeforeEnding) {
  sim::PushKey(0x1B);
  At(60000, [] { sim::PushKey(' '); });
  EXPECT_EQ(RunProgram({"-d"}), 0u);
  EXPECT_EQ(Now(), 60000u);
  EXPECT_EQ(sim::PendingKeys(), 1u);
}

}  // namespace
