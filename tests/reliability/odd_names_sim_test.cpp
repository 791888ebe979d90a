// Odd process names through the whole program on the simulated platform,
// where names arrive exactly as the system gives them: the longest paths in
// characters of every UTF-8 length, and names carrying control characters
// and terminal sequences.
#include <gtest/gtest.h>

#include "tests/reliability/log_check.h"
#include "tests/unit/program_state.h"

namespace {

std::string Repeat(const std::string& piece, std::size_t units) {
  std::string text;
  while (Wide(text).size() + Wide(piece).size() <= units) text += piece;
  return text;
}

class OddNames : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProgramState();
    sim::AddProcess(50, 1, "cmd.exe", "C:\\Windows\\System32\\cmd.exe");
    sim::SetSelf(100, 50);
  }
  void TearDown() override {
    EXPECT_TRUE(sim::WaitForThreadsIdle());
    EXPECT_EQ(sim::HandleMisuseCount(), 0);
    EXPECT_EQ(sim::LiveHeapBlocks(), 0);
  }
  // Runs until the first scan tick reads Esc; the final save writes the log.
  LogCheck RunAndReadLog() {
    sim::PushKey(0x1B);
    EXPECT_EQ(RunProgram({}), 0u);
    return CheckLog(sim::ReadFileBytes(sim::ProgramFolder() + "/Tolvane0.log"));
  }
};

TEST_F(OddNames, LongestPathsOfWideCharactersReachTheLogWholeOnOneLineEach) {
  const std::string paths[] = {
      "C:\\" + Repeat("\u00e9", 256),       // 2 bytes each
      "C:\\" + Repeat("\u20ac", 256),       // 3 bytes each
      "C:\\x" + Repeat("\U0001F600", 255),  // 4 bytes for each pair of units
  };
  DWORD pid = 200;
  for (const std::string& path : paths) {
    ASSERT_LE(Wide(path).size(), 259u);
    ASSERT_GE(Wide(path).size(), 258u);
    sim::AddProcess(pid++, 50, "long.exe", path);
  }
  const LogCheck log = RunAndReadLog();
  ASSERT_TRUE(log.whole) << log.problem;
  ASSERT_EQ(log.records.size(), 4u);  // the program and the three
  EXPECT_EQ(PathOf(log.records[1]), paths[0]);
  EXPECT_EQ(PathOf(log.records[2]), paths[1]);
  EXPECT_EQ(PathOf(log.records[3]), paths[2]);
  // One row per record on the screen, each ending in its name's last units.
  const std::string screen = sim::LastScreen();
  EXPECT_NE(screen.find(Repeat("\u20ac", 33) + "\n"), std::string::npos) << screen;
}

// The program itself prints names as the platform gives them. The Linux
// backend replaces control characters before the logic sees a name; a
// Windows process list can still carry C1 controls (U+0080 to U+009F) and,
// through the native API, C0 ones. Enable this once the view and the log
// replace them themselves.
TEST_F(OddNames, ControlCharactersReachScreenAndLogReplaced) {
  sim::AddProcess(200, 50, "bell\a.exe", "C:\\x\x1b]0;owned\a\\\x1b[2Jwipe.exe");
  sim::AddProcess(201, 50, "forge.exe", "C:\\f\r\nNo:9   , Valid=Yes\x7f\u009b1m.exe");
  const LogCheck log = RunAndReadLog();
  ASSERT_TRUE(log.whole) << log.problem;
  ASSERT_EQ(log.records.size(), 3u);
  EXPECT_EQ(PathOf(log.records[1]), "C:\\x?]0;owned?\\?[2Jwipe.exe");
  EXPECT_EQ(PathOf(log.records[2]), "C:\\f??No:9   , Valid=Yes??1m.exe");
  const std::string out = sim::Output();
  for (char c : out)
    EXPECT_TRUE(static_cast<unsigned char>(c) >= 0x20 || c == '\n' || c == '\r')
        << "control character " << static_cast<int>(c) << " on the screen";
  EXPECT_EQ(out.find("\u009b"), std::string::npos);
}

}  // namespace
