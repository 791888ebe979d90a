// Processes whose executable paths carry control characters, terminal
// sequences, invalid UTF-8 and the longest lengths, watched by the real
// program: the screen and the log show them only in their replaced form
// (control characters as '?', invalid bytes as U+FFFD, cut to 259 units)
// and every log line stays one line.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>

#include "tests/linux/real_process.h"
#include "tests/reliability/log_check.h"

namespace {

namespace fs = std::filesystem;

const std::string Replacement = "\xef\xbf\xbd";  // U+FFFD in UTF-8

struct OddPath {
  std::string name;      // below the scratch folder, as the file system holds it
  std::string expected;  // as the log must show it, below the scratch folder
};

std::string Times(const std::string& piece, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += piece;
  return text;
}

// Directories of 80 three-byte characters, then a file name, so that the
// whole path is `units` UTF-16 units long; "\xe2\x82\xac" is the euro sign.
std::string EuroPath(std::size_t folderUnits, std::size_t units) {
  std::string path;
  std::size_t used = folderUnits;
  while (units - used > 81) {
    path += Times("\xe2\x82\xac", 80) + "/";
    used += 81;
  }
  return path + Times("\xe2\x82\xac", static_cast<int>(units - used));
}

class OddNamesOnLinux : public ::testing::Test {
 protected:
  void SetUp() override { folder = FolderWithProgram(); }
  void TearDown() override {
    for (pid_t child : children) kill(child, SIGKILL);
    for (pid_t child : children) WaitExitCode(child);
    RemoveTree(folder);
  }
  pid_t StartAt(const std::string& relative) {
    const fs::path path = fs::path(folder) / relative;
    fs::create_directories(path.parent_path());
    fs::copy_file(RELIABILITY_CHILD, path);
    pid_t pid = StartProgram({path.string(), "named", "odd", "60000"});
    children.push_back(pid);
    return pid;
  }

  std::string folder;
  std::vector<pid_t> children;
};

TEST_F(OddNamesOnLinux, ReachScreenAndLogOnlyReplacedAndOneLineEach) {
  const std::size_t folderUnits = folder.size() + 1;  // with its '/'
  const std::vector<OddPath> paths = {
      {"title\x1b]0;owned\a\x1b[2Jwipe", "title?]0;owned??[2Jwipe"},
      {"forge\r\nNo:9   , Valid=Yes\t\x7f\xc2\x9b"
       "1m",
       "forge??No:9   , Valid=Yes???1m"},
      {"bytes\xff\xfe\xc3(\xe2\x82z", "bytes" + Times(Replacement, 3) + "(" + Replacement + "z"},
      {EuroPath(folderUnits, 259), EuroPath(folderUnits, 259)},
      {Times("d", 200) + "/" + Times("n", 200),
       (Times("d", 200) + "/" + Times("n", 200)).substr(0, 259 - folderUnits)},
  };
  std::vector<pid_t> pids;
  for (const OddPath& path : paths) pids.push_back(StartAt(path.name));

  int keys = -1, screen = -1;
  const pid_t tolvane = StartProgram({folder + "/tolvane"}, &keys, &screen, folder);
  ASSERT_GT(tolvane, 0);
  ASSERT_EQ(write(keys, "\x1b", 1), 1);  // read at the first scan, after the start-up draw
  const std::string out = ReadAll(screen);
  close(keys);
  EXPECT_EQ(WaitExitCode(tolvane), 0);

  // Standard output is no terminal, so the program writes no sequences of
  // its own: any control character there came from a name.
  for (char c : out)
    EXPECT_TRUE(static_cast<unsigned char>(c) >= 0x20 || c == '\n' || c == '\r')
        << "control character " << static_cast<int>(c) << " in:\n"
        << out;
  EXPECT_EQ(out.find("\xc2\x9b"), std::string::npos);
  EXPECT_NE(out.find("?]0;owned??[2Jwipe\n"), std::string::npos) << out;

  const LogCheck log = CheckLog(ReadText(folder + "/Tolvane0.log"));
  ASSERT_TRUE(log.whole) << log.problem;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    char id[32];
    std::snprintf(id, sizeof id, "ProcessID=%08X", static_cast<unsigned>(pids[i]));
    int found = 0;
    for (const std::string& record : log.records) {
      if (record.find(id) == std::string::npos) continue;
      ++found;
      EXPECT_EQ(PathOf(record), folder + "/" + paths[i].expected) << "child " << i;
    }
    EXPECT_EQ(found, 1) << "child " << i;
  }
}

}  // namespace
