// scripts/log2csv on logs the real program wrote, and on the lines a real
// run seldom produces (a lost close, a note after a failed save, 32-bit
// limits), checked against an independent reading of the log.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/linux/real_process.h"
#include "tests/packaging/conversion_check.h"
#include "tests/packaging/csv_text.h"

namespace {

const std::string Header =
    " Tolvane Utility, Rev: 1.0.0.3, Start: 2026-12-11 14:2:7, End: 2026-12-11 14:2:19\r\n";

class LogToCsvTest : public ::testing::Test {
 protected:
  void SetUp() override { folder = MakeScratchFolder(); }
  void TearDown() override { RemoveTree(folder); }
  std::string folder;
};

TEST_F(LogToCsvTest, RealLogWithACommaAndQuotesInThePath) {
  const std::string dir = folder + "/odd, \"name\"";
  Shell("mkdir " + Quoted(dir) + " && cp '" TOLVANE_BINARY "' " + Quoted(dir + "/tolvane"));
  int keys = -1;
  int output = -1;
  const pid_t pid = StartProgram({dir + "/tolvane"}, &keys, &output);
  ASSERT_GT(pid, 0);
  ASSERT_EQ(write(keys, "\033", 1), 1);  // Esc: the run ends at its first scan
  close(keys);
  ReadAll(output);
  ASSERT_EQ(WaitExitCode(pid), 0);

  const std::string log = ReadText(dir + "/Tolvane0.log");
  const CommandResult csv = ConvertLog(dir + "/Tolvane0.log");
  ASSERT_EQ(csv.status, 0) << csv.output;
  ExpectCsvDescribesLog(log, csv.output);
  // The path is quoted, its quotes doubled, so the comma stays in one field.
  EXPECT_NE(csv.output.find(",\"" + folder + "/odd, \"\"name\"\"/tolvane\"\n"), std::string::npos)
      << csv.output;

  std::vector<CsvRow> rows;
  ASSERT_TRUE(ParseCsv(csv.output, rows));
  ASSERT_EQ(rows.size(), 2u) << csv.output;
  EXPECT_EQ(rows[1][4], std::to_string(getpid()));  // ParentID
  EXPECT_EQ(rows[1][5], std::to_string(pid));       // ProcessID
  EXPECT_EQ(rows[1][3], "Open");                    // still running at the last save
  EXPECT_EQ(rows[1][11], "");                       // so no end time
  EXPECT_EQ(rows[1][12], "");                       // and no run time
}

struct CraftedLine {
  const char* what;
  const char* line;
  std::vector<std::pair<std::size_t, std::string>> cells;  // column, value
};

TEST_F(LogToCsvTest, LinesARealRunSeldomWrites) {
  const CraftedLine cases[] = {
      {"a lost close, with its EndExitCode",
       "No:1   , Valid=Yes, LostClose=Yes, Handle=Open , ParentID=00000010, ProcessID=00000020, "
       "Handle=00000040, SubProcessNo=2   , ExitCode=00000000, EndExitCode=0000008F, "
       "tStart=01DD8982 A95954D5, tEnd=01DD8982 AA8C6D93, tUseTime=0M:2S, "
       "FilePathName=C:\\tools\\a b.exe\r\n",
       {{2, "Yes"}, {9, "143"}, {10, "2026-12-11T15:16:57.0940629Z"}, {12, "2.0125886"}}},
      {"a process never opened",
       "No:12  , Valid=Yes, LostClose=No , Handle=NA   , ParentID=FFFFFFFF, ProcessID=00000004, "
       "Handle=00000000, SubProcessNo=0   , ExitCode=FFFFFFFF, tStart=00000000 00000000, "
       "tEnd=00000000 00000000, TakeTime=unknown, FilePathName=System\r\n",
       {{0, "12"}, {3, "NA"}, {4, "4294967295"}, {8, "4294967295"}, {10, ""}, {12, ""}}},
      {"a carry across the halves of a FILETIME",
       "No:3   , Valid=Yes, LostClose=No , Handle=Close, ParentID=00000001, ProcessID=00000002, "
       "Handle=0000004C, SubProcessNo=0   , ExitCode=00000003, tStart=01DD8982 FFFFFFFF, "
       "tEnd=01DD8983 00000000, tUseTime=0M:0S, FilePathName=/bin/true\r\n",
       {{12, "0.0000001"}}},
  };
  for (const CraftedLine& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string log = Header + c.line +
                            "\n  WARNING: blFileSave(): Create file failed with error 5 "
                            "(Access is denied)" +
                            std::string(1, '\0');
    WriteText(folder + "/Tolvane0.log", log);
    const CommandResult csv = ConvertLog(folder + "/Tolvane0.log");
    ASSERT_EQ(csv.status, 0) << csv.output;
    ExpectCsvDescribesLog(log, csv.output);
    std::vector<CsvRow> rows;
    ASSERT_TRUE(ParseCsv(csv.output, rows));
    ASSERT_EQ(rows.size(), 2u);
    for (const auto& [column, value] : c.cells) EXPECT_EQ(rows[1][column], value) << column;
  }
}

TEST_F(LogToCsvTest, RefusesWhatIsNotALog) {
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"an empty file", ""},
      {"no header line", "No:1   , Valid=Yes\r\n"},
      {"a cut record line", Header + "No:1   , Valid=Yes, LostClose=No , Handle=Open , Pare"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteText(folder + "/bad.log", c.text);
    const CommandResult csv = RunCommand(Quoted(TOLVANE_SOURCE_DIR "/scripts/log2csv") + " " +
                                         Quoted(folder + "/bad.log") + " 2>&1 >/dev/null");
    EXPECT_EQ(csv.status, 1);
    EXPECT_EQ(csv.output.rfind("log2csv: ", 0), 0u) << csv.output;
  }
}

}  // namespace
