// The table-full stop in a real terminal: short-lived processes started
// beside the program fill the record table; the run stops once more than
// 1001 records are in use, shows its message, saves its note, ends with 255
// and leaves the terminal in the mode it found.
#include <gtest/gtest.h>

#include "tests/linux/real_process.h"
#include "tests/reliability/log_check.h"

namespace {

// More sleeping siblings than the table may hold when the run starts: the
// first scan fills the table, whatever the speed of the build.
const char* const Script =
    "stty -g > stty-before.txt\n"
    "for i in $(seq 1010); do sleep 600 & done\n"
    "\"$PWD/tolvane\" 2> message.txt\n"
    "echo $? > rc.txt\n"
    "stty -g > stty-after.txt\n"
    "kill $(jobs -p) 2> /dev/null\n"
    "sleep 60\n";

TEST(TableFullInATerminal, StopsWithMessageNoteAnd255AndRestoresTheTerminal) {
  if (!HaveTmux()) GTEST_SKIP() << "tmux is not installed";
  const std::string folder = FolderWithProgram();
  WriteText(folder + "/run.sh", Script);
  const Terminal terminal = OpenTerminal("bash run.sh", folder);

  EXPECT_TRUE(WaitUntil([&] { return !ReadText(folder + "/stty-after.txt").empty(); },
                        std::chrono::seconds(120)))
      << Screen(terminal);
  EXPECT_EQ(ReadText(folder + "/rc.txt"), "255\n");
  EXPECT_EQ(ReadText(folder + "/stty-after.txt"), ReadText(folder + "/stty-before.txt"));
  EXPECT_EQ(ReadText(folder + "/message.txt"), "Data array is out of memory!!\n");
  const LogCheck log = CheckLog(ReadText(folder + "/Tolvane0.log"));
  EXPECT_TRUE(log.whole) << log.problem;
  EXPECT_EQ(log.note, "Data array is out of memory!!\n");
  // The test comes after each scan, and one scan adds at most what the
  // table still holds.
  EXPECT_GE(log.records.size(), 1002u);
  EXPECT_LE(log.records.size(), 1024u);

  CloseTerminal(terminal);
  RemoveTree(folder);
}

}  // namespace
