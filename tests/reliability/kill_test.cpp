// Runs of the real program killed with SIGKILL, many of them while a save
// is being written: the log next to the binary must always be a whole save,
// an earlier or a later one, never empty or cut. Each run has long-pathed
// siblings to record, so that a save has tens of kilobytes to write and
// flush. TOLVANE_KILLS sets the number of runs (default 20).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "tests/linux/real_process.h"
#include "tests/reliability/log_check.h"
#include "tests/reliability/long_run.h"

namespace {

namespace fs = std::filesystem;

bool Exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

// Siblings of the program with paths of 259 units of three-byte characters.
std::vector<pid_t> StartLongPathedSiblings(const std::string& folder, int count) {
  std::string path = folder + "/";
  for (int level = 0; level < 2; ++level) {
    for (int i = 0; i < 80; ++i) path += "\xe2\x82\xac";
    path += "/";
  }
  fs::create_directories(path);
  std::vector<pid_t> pids;
  for (int i = 0; i < count; ++i) {
    std::string name = path + std::to_string(1000 + i);
    while (name.size() < folder.size() + 600) name += "\xe2\x82\xac";
    fs::copy_file(RELIABILITY_CHILD, name);
    pids.push_back(StartProgram({name, "named", "sibling", "3600000"}));
  }
  return pids;
}

enum class When { DuringFirstSave, DuringALaterSave, AnyMoment };

struct KillCounts {
  int runs = 0, duringSave = 0, logsChecked = 0, noLogYet = 0;
};

TEST(Kills, LeaveTheLogWholeWheneverTheyCome) {
  const long runs = SizeFromEnvironment("TOLVANE_KILLS", 20);
  const std::string folder = FolderWithProgram();
  const std::vector<pid_t> siblings = StartLongPathedSiblings(folder, 60);
  std::mt19937 random(12345);
  KillCounts counts;

  for (long run = 0; run < runs; ++run) {
    const When when = static_cast<When>(run % 3);
    // Each run takes the first free name; the earlier runs' logs stay.
    std::string log;
    for (int n = 0;; ++n) {
      log = folder + "/Tolvane" + std::to_string(n) + ".log";
      if (!Exists(log)) break;
    }
    const std::string temporary = log + ".tmp";
    int keys = -1, screen = -1;
    const pid_t tolvane = StartProgram({folder + "/tolvane", "-ct", "0"}, &keys, &screen, folder);
    ASSERT_GT(tolvane, 0);
    OutputReader output;
    StartReading(output, screen);

    bool inSave = false;
    if (when == When::AnyMoment) {
      std::this_thread::sleep_for(
          std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 12000)(random)));
      inSave = Exists(temporary);
    } else {
      if (when == When::DuringALaterSave) {
        ASSERT_TRUE(WaitUntil([&] { return Exists(log); }, std::chrono::seconds(60)));
      }
      // Watch closely for the save's temporary file, then let it run on for
      // up to a few hundred microseconds.
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
      while (!Exists(temporary) && std::chrono::steady_clock::now() < deadline) {
      }
      std::this_thread::sleep_for(
          std::chrono::microseconds(std::uniform_int_distribution<int>(0, 400)(random)));
      inSave = Exists(temporary);
    }
    kill(tolvane, SIGKILL);
    EXPECT_EQ(WaitExitCode(tolvane), 128 + SIGKILL);
    close(keys);
    FinishReading(output);

    ++counts.runs;
    if (inSave) ++counts.duringSave;
    if (!Exists(log)) {
      // Killed before its first save was in place: nothing to lose yet.
      EXPECT_NE(when, When::DuringALaterSave) << "run " << run << ": the earlier log is gone";
      ++counts.noLogYet;
    }
    for (const auto& entry : fs::directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("Tolvane", 0) != 0 || entry.path().extension() != ".log") continue;
      const LogCheck check = CheckLog(ReadText(entry.path().string()));
      EXPECT_TRUE(check.whole) << "run " << run << ", " << name << ": " << check.problem;
      EXPECT_GE(check.records.size(), 60u) << name;
      ++counts.logsChecked;
    }
    if (HasFailure()) break;
  }
  for (pid_t sibling : siblings) kill(sibling, SIGKILL);
  for (pid_t sibling : siblings) WaitExitCode(sibling);
  RemoveTree(folder);

  std::printf(
      "kills: %d runs, %d while a save was being written, %d before any log, %d log "
      "checks\n",
      counts.runs, counts.duringSave, counts.noLogYet, counts.logsChecked);
  EXPECT_EQ(counts.runs, runs);
  EXPECT_GE(counts.duringSave, runs / 3);
}

}  // namespace
