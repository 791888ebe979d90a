// Real file-system faults under the running program (root only, on a tmpfs
// of its own mounted over a scratch folder): the program's folder made
// read-only mid-run, and the disk full. While the fault lasts the save is
// retried and the previous log stays whole; once it is gone the log is
// whole again and carries the note of the failed step.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <regex>

#include "tests/linux/real_process.h"
#include "tests/reliability/log_check.h"
#include "tests/reliability/long_run.h"

namespace {

long FileSize(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? static_cast<long>(info.st_size) : -1;
}

class LogFolderFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!RunningAsRoot()) GTEST_SKIP() << "mounting a tmpfs needs root";
    folder = MakeScratchFolder();
    // Room for the program and a few saves, no more.
    const long room = FileSize(TOLVANE_BINARY) + 4 * 1024 * 1024;
    ASSERT_EQ(Shell("mount -t tmpfs -o size=" + std::to_string(room) + " tolvane-rel '" + folder +
                    "' && echo ok"),
              "ok\n");
    mounted = true;
    Shell("cp '" TOLVANE_BINARY "' '" + folder + "/tolvane'");
    log = folder + "/Tolvane0.log";
  }
  void TearDown() override {
    if (tolvane > 0) {
      kill(tolvane, SIGKILL);
      WaitExitCode(tolvane);
      close(keys);
      FinishReading(output);
    }
    if (mounted) Shell("umount -l '" + folder + "'");
    if (!folder.empty()) RemoveTree(folder);
  }

  // Debug mode prints every failed try of a save.
  void Start() {
    int screen = -1;
    tolvane = StartProgram({folder + "/tolvane", "-d"}, &keys, &screen, folder);
    ASSERT_GT(tolvane, 0);
    StartReading(output, screen);
    ASSERT_TRUE(WaitUntil([&] { return FileSize(log) > 0; }, std::chrono::seconds(60)));
  }
  int TriesFailed(const std::string& line) {
    const std::string text = TextSoFar(output);
    int count = 0;
    for (std::size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1))
      ++count;
    return count;
  }
  // While the fault lasts: tries keep failing and the log stays as it was.
  void ExpectRetriedWithTheLogKept(const std::string& failedLine) {
    const std::string before = ReadText(log);
    ASSERT_TRUE(WaitUntil([&] { return TriesFailed(failedLine) >= 1; }, std::chrono::seconds(30)))
        << TextSoFar(output);
    const int first = TriesFailed(failedLine);
    EXPECT_TRUE(WaitUntil([&] { return TriesFailed(failedLine) >= first + 10; }))
        << "the save is not retried";
    EXPECT_EQ(ReadText(log), before);
    EXPECT_TRUE(CheckLog(before).whole);
  }
  // Once the fault is gone: a whole log with the note, then a clean stop.
  void ExpectWholeAgainWithNote(const std::regex& note) {
    EXPECT_TRUE(WaitUntil([&] {
      const LogCheck check = CheckLog(ReadText(log));
      return check.whole && std::regex_match(check.note, note);
    })) << ReadText(log);
    kill(tolvane, SIGTERM);
    EXPECT_EQ(WaitExitCode(tolvane), 0);
    tolvane = -1;
    close(keys);
    FinishReading(output);
    const LogCheck check = CheckLog(ReadText(log));
    EXPECT_TRUE(check.whole) << check.problem;
    EXPECT_TRUE(std::regex_match(check.note, note)) << check.note;
    std::printf("note after the fault:%s\n", check.note.c_str());
    EXPECT_EQ(FileSize(log + ".tmp"), -1) << "a temporary file was left";
  }

  std::string folder, log;
  bool mounted = false;
  pid_t tolvane = -1;
  int keys = -1;
  OutputReader output;
};

TEST_F(LogFolderFaults, ReadOnlyFolderMidRunIsRetriedUntilWritable) {
  Start();
  // A remount waits for no file to be open for writing: retry it between saves.
  ASSERT_TRUE(WaitUntil([&] {
    return Shell("mount -o remount,ro '" + folder + "' 2>/dev/null && echo ok") == "ok\n";
  }));
  ExpectRetriedWithTheLogKept("blFileSave(): Create file fail!!");
  ASSERT_EQ(Shell("mount -o remount,rw '" + folder + "' && echo ok"), "ok\n");
  ExpectWholeAgainWithNote(
      std::regex(R"(\n  WARNING: blFileSave\(\): Create file failed with error \d+ \(.+\))"));
}

TEST_F(LogFolderFaults, FullDiskIsRetriedUntilThereIsRoom) {
  Start();
  // Everything left on the tmpfs goes to a filler file.
  Shell("dd if=/dev/zero of='" + folder + "/filler' bs=64k 2>/dev/null");
  ExpectRetriedWithTheLogKept("blFileSave(): Write file");
  Shell("rm -f '" + folder + "/filler'");
  ExpectWholeAgainWithNote(
      std::regex(R"(\n  WARNING: blFileSave\(\): Write file failed with error \d+ \(.+\))"));
}

}  // namespace
