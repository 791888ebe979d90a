// The example a new user runs first, in a real terminal: its workers appear,
// end with their known exit codes, Esc stops Tolvane, and the log it names
// converts to CSV.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "tests/linux/real_process.h"
#include "tests/packaging/conversion_check.h"
#include "tests/packaging/log_reading.h"

namespace {

class ExampleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTmux()) GTEST_SKIP() << "tmux is not installed";
    folder = MakeScratchFolder();
  }
  void TearDown() override {
    if (!terminal.session.empty()) CloseTerminal(terminal);
    RemoveTree(folder);
  }
  bool ScreenShows(const std::regex& pattern) {
    return WaitUntil([&] { return std::regex_search(Screen(terminal), pattern); },
                     std::chrono::seconds(60));
  }
  std::string folder;
  Terminal terminal;
};

TEST_F(ExampleTest, ShellScriptShowsItsWorkersEndAndLeavesALogThatConverts) {
  terminal = OpenTerminal("env TOLVANE='" TOLVANE_BINARY "' TOLVANE_EXAMPLE_DIR=run sh '" +
                              std::string(TOLVANE_SOURCE_DIR) +
                              "/examples/run-example.sh' -dt 1; sleep 600",
                          folder);
  // All eight processes met, and only Tolvane's own row still marked running.
  const std::regex allEnded(
      R"(\n \d+ [^\n]*\n(?: \d+ [^\n]*\n)*\*\d+ [^\n]*/run/tolvane\nTotal recorded processes=8\n)");
  ASSERT_TRUE(ScreenShows(allEnded)) << Screen(terminal);
  SendKeys(terminal, "Escape");
  ASSERT_TRUE(ScreenShows(
      std::regex("Tolvane ended with exit code 0\\. Its log, " + folder + "/run/Tolvane0\\.log:")))
      << Screen(terminal);

  const std::string log = ReadText(folder + "/run/Tolvane0.log");
  const std::vector<LoggedRecord> records = LoggedRecords(log);
  ASSERT_EQ(records.size(), 8u) << log;
  // The script's four workers: three shells that each ran a sleep, and a sleep.
  const LoggedRecord& self = records.back();
  EXPECT_EQ(self.filePathName, folder + "/run/tolvane");
  std::vector<std::uint32_t> workerCodes;
  for (const LoggedRecord& r : records) {
    if (&r == &self) continue;
    EXPECT_EQ(r.handleState, "Close") << r.filePathName;
    EXPECT_NE(r.end, 0u) << r.filePathName;
    if (r.parentId == self.parentId) workerCodes.push_back(r.exitCode);
  }
  std::sort(workerCodes.begin(), workerCodes.end());
  EXPECT_EQ(workerCodes, (std::vector<std::uint32_t>{0, 3, 5, 128 + 15}));

  const CommandResult csv = ConvertLog(folder + "/run/Tolvane0.log");
  ASSERT_EQ(csv.status, 0);
  ExpectCsvDescribesLog(log, csv.output);
}

}  // namespace
