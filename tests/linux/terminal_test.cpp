// The program in a real terminal (tmux): the live view, paging keys, Esc,
// stop signals, the log it leaves and the terminal mode it restores.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "tests/linux/real_process.h"

namespace {

// A shell script that notes the terminal mode, starts two workers and then
// Tolvane beside them, and notes Tolvane's exit code and the mode after.
const char* const Script =
    "stty -g > stty-before.txt\n"
    "if [ \"$1\" = workers ]; then\n"
    "  ./tolvane_test_worker exit 2500 2 &\n"
    "  ./tolvane_test_worker exit 4000 7 &\n"
    "fi\n"
    "shift\n"
    "\"$PWD/tolvane\" \"$@\"\n"
    "echo $? > rc.txt\n"
    "stty -g > stty-after.txt\n"
    "sleep 60\n";

class TerminalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTmux()) GTEST_SKIP() << "tmux is not installed";
    folder = FolderWithProgram();
    Shell("cp '" TOLVANE_WORKER "' '" + folder + "/'");
    WriteText(folder + "/run.sh", Script);
  }
  void TearDown() override {
    if (!terminal.session.empty()) CloseTerminal(terminal);
    if (!folder.empty()) RemoveTree(folder);
  }

  void Open(const std::string& arguments) {
    terminal = OpenTerminal("bash run.sh " + arguments, folder);
  }
  bool ScreenShows(const std::string& text) {
    return WaitUntil([&] { return Screen(terminal).find(text) != std::string::npos; });
  }
  bool ScreenShows(const std::regex& pattern) {
    return WaitUntil([&] { return std::regex_search(Screen(terminal), pattern); });
  }
  std::string ExitCode() {
    WaitUntil([&] { return !ReadText(folder + "/rc.txt").empty(); });
    return ReadText(folder + "/rc.txt");
  }
  void ExpectTerminalRestored() {
    WaitUntil([&] { return !ReadText(folder + "/stty-after.txt").empty(); });
    EXPECT_EQ(ReadText(folder + "/stty-after.txt"), ReadText(folder + "/stty-before.txt"));
  }
  std::string Log() { return ReadText(folder + "/Tolvane0.log"); }

  std::string folder;
  Terminal terminal;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  std::string line;
  while (std::getline(stream, line)) lines.push_back(line);
  return lines;
}

TEST_F(TerminalTest, LiveViewPagesAndStopsOnEscWithACompleteLog) {
  Open("workers -dn 2 -dt 1");
  ASSERT_TRUE(ScreenShows("Total recorded processes=3")) << Screen(terminal);
  const std::vector<std::string> screen = Lines(Screen(terminal));
  ASSERT_GE(screen.size(), 7u);
  EXPECT_EQ(screen[0], " Tolvane Utility, Rev: 1.0.0.3");
  EXPECT_EQ(screen[1], std::string(79, '='));
  EXPECT_EQ(screen[2], " No | Parent | Own ID | Handle | SN | Exit_C |    FileName");
  EXPECT_EQ(screen[3], std::string(79, '-'));
  const std::regex workerRow(
      R"(^\*[12]   [0-9A-F]{8} [0-9A-F]{8} [0-9A-F]{8} 0    00000000 .*tolvane_test_worker$)");
  EXPECT_TRUE(std::regex_match(screen[4], workerRow)) << screen[4];
  EXPECT_TRUE(std::regex_match(screen[5], workerRow)) << screen[5];
  EXPECT_EQ(screen[6], "Total recorded processes=3");

  SendKeys(terminal, "Tab");
  EXPECT_TRUE(ScreenShows(std::regex(R"(\n\*3   .*/tolvane\n)"))) << Screen(terminal);
  SendKeys(terminal, "PPage");
  EXPECT_TRUE(ScreenShows(std::regex(R"(\n.1   [^\n]*\n.2   )"))) << Screen(terminal);
  SendKeys(terminal, "NPage");
  EXPECT_TRUE(ScreenShows(std::regex(R"(\n\*3   )"))) << Screen(terminal);
  SendKeys(terminal, "PPage");
  // Both workers end; the next redraws show their codes without the marker.
  EXPECT_TRUE(
      ScreenShows(std::regex(R"( [12]   [^\n]* 00000002 [^\n]*\n [12]   [^\n]* 00000007 )")))
      << Screen(terminal);

  SendKeys(terminal, "Escape");
  EXPECT_EQ(ExitCode(), "0\n");
  ExpectTerminalRestored();

  const std::string log = Log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), '\0');
  const std::vector<std::string> lines = Lines(log.substr(0, log.size() - 1));
  ASSERT_EQ(lines.size(), 4u) << log;
  EXPECT_TRUE(std::regex_match(
      lines[0],
      std::regex(
          R"( Tolvane Utility, Rev: 1\.0\.0\.3, Start: \d{4}-\d+-\d+ \d+:\d+:\d+, End: \d{4}-\d+-\d+ \d+:\d+:\d+\r)")))
      << lines[0];
  const std::string fixed =
      R"(ParentID=[0-9A-F]{8}, ProcessID=[0-9A-F]{8}, Handle=[0-9A-F]{8}, SubProcessNo=0   , )";
  const std::string times = R"(tStart=[0-9A-F]{8} [0-9A-F]{8}, tEnd=[0-9A-F]{8} [0-9A-F]{8}, )";
  const std::regex worker2("No:[12]   , Valid=Yes, LostClose=No , Handle=Close, " + fixed +
                           "ExitCode=00000002, " + times +
                           "tUseTime=0M:2S, FilePathName=" + folder + "/tolvane_test_worker\r");
  const std::regex worker7("No:[12]   , Valid=Yes, LostClose=No , Handle=Close, " + fixed +
                           "ExitCode=00000007, " + times +
                           "tUseTime=0M:4S, FilePathName=" + folder + "/tolvane_test_worker\r");
  const std::regex self("No:3   , Valid=Yes, LostClose=No , Handle=Open , " + fixed +
                        "ExitCode=00000000, " + times + "TakeTime=unknown, FilePathName=" + folder +
                        "/tolvane\r");
  EXPECT_TRUE(std::regex_match(lines[1], worker2) || std::regex_match(lines[2], worker2)) << log;
  EXPECT_TRUE(std::regex_match(lines[1], worker7) || std::regex_match(lines[2], worker7)) << log;
  EXPECT_TRUE(std::regex_match(lines[3], self)) << lines[3];
}

TEST_F(TerminalTest, StopSignalsSaveTheLogAndRestoreTheTerminal) {
  const char* signals[] = {"INT", "TERM", "HUP"};
  for (const char* signal : signals) {
    SCOPED_TRACE(signal);
    TearDown();
    SetUp();
    Open("none -ct 3600");
    ASSERT_TRUE(ScreenShows(" No | Parent |")) << Screen(terminal);
    if (std::string(signal) == "INT")
      SendKeys(terminal, "C-c");
    else
      Shell(std::string("pkill -") + signal + " -f '^" + folder + "/tolvane( |$)'");
    EXPECT_EQ(ExitCode(), "0\n");
    ExpectTerminalRestored();
    EXPECT_NE(Log().find("FilePathName=" + folder + "/tolvane\r\n"), std::string::npos) << Log();
  }
}

TEST_F(TerminalTest, UsageErrorRestoresTheTerminal) {
  Open("none -x");
  EXPECT_EQ(ExitCode(), "255\n");
  ExpectTerminalRestored();
}

}  // namespace
