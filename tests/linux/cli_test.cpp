// The command line of the real binary: exact output and exit codes.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "tests/linux/real_process.h"

namespace {

const std::string Title = " Tolvane Utility, Rev: 1.0.0.3\r\n" + std::string(79, '=');
const std::string Usage =
    "\nTolvane.EXE <-Sw1> <...> [/Command1] [...] ... <Parameter1> <...> ...\n"
    "  /? : This help screen.\n"
    "  -CT <n> : Set check timer, <n> seconds, n must > 0. (default=1)\n"
    "  -DT <n> : Set dump timer, <n> seconds, n must > 0. (default=5)\n"
    "  -DN <n> : Set dump process number/pre-Page, n must > 0. (default=20)\n"
    "  -ST <n> : Set save file timer, <n> seconds, n must > 0. (default=60)\n"
    "Return Code : OK(0), ERROR(255)\n"
    "Exp:\n"
    "  start /realtime Tolvane -> Start Tolvane and check all process in every 5 seconds.\n"
    "  start /realtime Tolvane /ct 10 -> Start Tolvane and check all process in every 10 "
    "seconds.\n"
    "\nReturn_Code=255\n";

struct ProgramResult {
  std::string output;
  int code;
};

class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override { folder = FolderWithProgram(); }
  void TearDown() override { RemoveTree(folder); }

  ProgramResult Start(const std::vector<std::string>& words, const std::string& input) {
    std::vector<std::string> argv{folder + "/tolvane"};
    argv.insert(argv.end(), words.begin(), words.end());
    int in = -1, out = -1;
    pid_t pid = StartProgram(argv, &in, &out, folder);
    if (!input.empty()) {
      EXPECT_EQ(write(in, input.data(), input.size()), ssize_t(input.size()));
    }
    close(in);
    std::string output = ReadAll(out);
    return {output, WaitExitCode(pid)};
  }

  std::string folder;
};

struct RefusalCase {
  std::vector<std::string> words;
  std::string message;
};

TEST_F(CommandLineTest, RefusalsPrintTheirMessageAndTheUsageAndEndWith255) {
  const RefusalCase cases[] = {
      {{"/?"}, ""},
      {{"/h"}, ""},
      {{"/HELP"}, ""},
      {{"?"}, ""},
      {{"-ct"}, "check timer is empty!\n"},
      {{"-dt", "5", "-dn"}, "dump process number is empty!\n"},
      {{"-DT"}, "dump timer is empty!\n"},
      {{"-st", "30"}, "Unknown parameter: -st\n"},
      {{"/ct", "10"}, "Unknown parameter: /ct\n"},
      {{"-x", "/?"}, "Unknown parameter: -x\n"},
      {{"/?", "-x"}, "Unknown parameter: -x\n"},
      {{"notes.txt"}, "Unknown parameter: notes.txt\n"},
      {{"-ct", "10", "wörd"}, "Unknown parameter: wörd\n"},
      {{"-x", "-d"}, "Unknown parameter: -x\n"},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.words));
    const ProgramResult run = Start(c.words, "");
    EXPECT_EQ(run.output, Title + c.message + Usage);
    EXPECT_EQ(run.code, 255);
  }
  EXPECT_EQ(Shell("ls '" + folder + "'"), "tolvane\n") << "a refusal writes no log";
}

TEST_F(CommandLineTest, DebugRefusalWaitsForAKeyBeforeEnding) {
  std::vector<std::string> argv{folder + "/tolvane", "-d", "-x"};
  int in = -1, out = -1;
  pid_t pid = StartProgram(argv, &in, &out, folder);
  sleep(2);
  int status = 0;
  EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0) << "still waiting for a key";
  ASSERT_EQ(write(in, "k", 1), 1);
  close(in);
  const std::string output = ReadAll(out);
  EXPECT_EQ(WaitExitCode(pid), 255);
  EXPECT_EQ(output, Title + "Unknown parameter: -x\n" + Usage);
}

TEST_F(CommandLineTest, ValidOptionsRunTheMonitorUntilEscOnStandardInput) {
  const ProgramResult run = Start({"-CT", "1", "-Dn", "0x1e", "-dt", "7x"}, "\x1b");
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.output.rfind(Title, 0), 0u);
  ASSERT_GE(run.output.size(), 15u);
  EXPECT_EQ(run.output.substr(run.output.size() - 15), "\nReturn_Code=0\n");
  const std::string log = ReadText(folder + "/Tolvane0.log");
  EXPECT_EQ(log.rfind(" Tolvane Utility, Rev: 1.0.0.3, Start: ", 0), 0u) << log;
  EXPECT_NE(log.find("/tolvane\r\n"), std::string::npos) << log;
}

}  // namespace
