// The log's name, its exact text, and a save that never destroys the
// previous log, on the simulated platform's real files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "control/settings.h"
#include "platform/wide_text.h"
#include "presentation/log_file.h"
#include "presentation/log_format.h"
#include "tests/unit/program_state.h"

namespace {

const std::uint64_t Start = 0x01DC123456789ABCull;

std::string Line(const ProcessData& record, DWORD index) {
  char line[LogLineSize];
  std::size_t length = FormatLogLine(record, index, line, sizeof(line));
  return std::string(line, length);
}

ProcessData Watched() {
  ProcessData record = MakeRecord(0x32, 0x64, "C:\\t\\Tolvane.exe");
  record.Handle = reinterpret_cast<HANDLE>(0x40);
  record.HandleOpen = 1;
  record.tStart = MakeFileTime(Start);
  return record;
}

ProcessData Ended(std::uint64_t duration, DWORD code) {
  ProcessData record = Watched();
  record.HandleOpen = 0;
  record.HandleClosed = 1;
  record.ExitCode = code;
  record.tEnd = MakeFileTime(Start + duration);
  return record;
}

struct LineCase {
  const char* name;
  ProcessData record;
  DWORD index;
  std::string line;
};

class LogLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(LogLineTest, RecordGivesItsExactLine) {
  EXPECT_EQ(Line(GetParam().record, GetParam().index), GetParam().line);
}

const std::string Fixed =
    "ParentID=00000032, ProcessID=00000064, Handle=00000040, SubProcessNo=0   , ";

ProcessData With(ProcessData record, void (*change)(ProcessData&)) {
  change(record);
  return record;
}

INSTANTIATE_TEST_SUITE_P(
    Records, LogLineTest,
    ::testing::Values(
        LineCase{"running", Watched(), 0,
                 "No:1   , Valid=Yes, LostClose=No , Handle=Open , " + Fixed +
                     "ExitCode=00000000, tStart=01DC1234 56789ABC, tEnd=00000000 00000000, "
                     "TakeTime=unknown, FilePathName=C:\\t\\Tolvane.exe\r\n"},
        LineCase{"ended_after_125_7_seconds", Ended(1257000000, 2), 9,
                 "No:10  , Valid=Yes, LostClose=No , Handle=Close, " + Fixed +
                     "ExitCode=00000002, tStart=01DC1234 56789ABC, tEnd=01DC1234 A164E6FC, "
                     "tUseTime=2M:5S, FilePathName=C:\\t\\Tolvane.exe\r\n"},
        LineCase{"minutes_wrap_at_65536", Ended(65537ull * 60 * 10000000 + 10000000, 0), 0,
                 "No:1   , Valid=Yes, LostClose=No , Handle=Close, " + Fixed +
                     "ExitCode=00000000, tStart=01DC1234 56789ABC, tEnd=01DC35F7 C0D4773C, "
                     "tUseTime=1M:1S, FilePathName=C:\\t\\Tolvane.exe\r\n"},
        LineCase{
            "lost_close_adds_its_exit_code",
            With(Watched(),
                 [](ProcessData& r) {
                   r.LostClose = 1;
                   r.EndExitCode = 3;
                 }),
            1233,
            "No:1234, Valid=Yes, LostClose=Yes, Handle=Open , " + Fixed +
                "ExitCode=00000000, EndExitCode=00000003, tStart=01DC1234 56789ABC, "
                "tEnd=00000000 00000000, TakeTime=unknown, FilePathName=C:\\t\\Tolvane.exe\r\n"},
        LineCase{"both_flags",
                 With(Ended(0, 1),
                      [](ProcessData& r) {
                        r.HandleOpen = 1;
                        r.tEnd = MakeFileTime(0);
                      }),
                 0,
                 "No:1   , Valid=Yes, LostClose=No , Handle=?    , " + Fixed +
                     "ExitCode=00000001, tStart=01DC1234 56789ABC, tEnd=00000000 00000000, "
                     "TakeTime=unknown, FilePathName=C:\\t\\Tolvane.exe\r\n"},
        LineCase{"never_opened",
                 With(MakeRecord(0x32, 0x64, "System"), [](ProcessData& r) { r.Valid = 0; }), 0,
                 "No:1   , Valid=No , LostClose=No , Handle=NA   , ParentID=00000032, "
                 "ProcessID=00000064, Handle=00000000, SubProcessNo=0   , ExitCode=00000000, "
                 "tStart=00000000 00000000, tEnd=00000000 00000000, TakeTime=unknown, "
                 "FilePathName=System\r\n"}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return info.param.name; });

TEST(LogLine, LongNonAsciiPathReachesTheLineWhole) {
  std::string path = "C:\\";
  while (Wide(path).size() < 259) path += "é";
  ProcessData record = MakeRecord(1, 2, path);
  ASSERT_EQ(WideLength(record.FilePathName), 259u);
  const std::string line = Line(record, 0);
  EXPECT_EQ(line.substr(line.size() - path.size() - 2), path + "\r\n");
}

class LogFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProgramState();
    folder = sim::ProgramFolder();
    tProgramStart = SYSTEMTIME{2026, 1, 5, 2, 3, 4, 5, 0};
    DataArray[0] = Watched();
    DataArray[1] = Ended(1257000000, 2);
    RecordCount = 2;
    GetLogFileName();
  }
  void TearDown() override {
    EXPECT_EQ(sim::OpenHandleCount("file"), 0);
    EXPECT_EQ(sim::LiveHeapBlocks(), 0);
    EXPECT_EQ(sim::HandleMisuseCount(), 0);
  }

  std::string Log() { return sim::ReadFileBytes(folder + "/Tolvane0.log"); }
  std::string Expected() {
    std::string text =
        " Tolvane Utility, Rev: 1.0.0.3, Start: 2026-1-2 3:4:5, End: 2026-1-2 3:4:5\r\n";
    for (DWORD i = 0; i < RecordCount; ++i) text += Line(DataArray[i], i);
    if (blErrMsg) text += Narrow(szErrMsg);
    return text + std::string(1, '\0');
  }

  std::string folder;
};

TEST_F(LogFileTest, NameSkipsTheLogsOfEarlierRuns) {
  EXPECT_EQ(Narrow(szLogFileName), "Tolvane0.log");
  std::ofstream(folder + "/Tolvane0.log") << "run 0";
  std::ofstream(folder + "/Tolvane1.log") << "run 1";
  GetLogFileName();
  EXPECT_EQ(Narrow(szLogFileName), "Tolvane2.log");
}

TEST_F(LogFileTest, SaveWritesHeaderRecordsAndAZeroByte) {
  ASSERT_EQ(blFileSave(), SaveWritten);
  EXPECT_EQ(Log(), Expected());
  EXPECT_FALSE(sim::FileExists(folder + "/Tolvane0.log.tmp"));

  RecordCount = 0;
  ASSERT_EQ(blFileSave(), SaveWritten) << "an empty table still saves its header";
  EXPECT_EQ(Log(), Expected());
}

struct FailingStep {
  sim::Op op;
  DWORD error;
  const char* note;
};

TEST_F(LogFileTest, AFailedStepLeavesThePreviousLogWholeAndNotesTheError) {
  const FailingStep steps[] = {
      {sim::Op::CreateFile, 5,
       "\n  WARNING: blFileSave(): Create file failed with error 5 (Access is denied)"},
      {sim::Op::WriteFile, 112,
       "\n  WARNING: blFileSave(): Write file failed with error 112 (There is not enough space "
       "on the disk)"},
      {sim::Op::ShortWrite, 0,
       "\n  WARNING: blFileSave(): Write file failed with error 112 (There is not enough space "
       "on the disk)"},
      {sim::Op::FlushFileBuffers, 112,
       "\n  WARNING: blFileSave(): Flush file failed with error 112 (There is not enough space "
       "on the disk)"},
      {sim::Op::MoveFile, 32,
       "\n  WARNING: blFileSave(): Replace file failed with error 32 (The process cannot access "
       "the file because it is being used by another process)"},
  };
  for (const FailingStep& step : steps) {
    SCOPED_TRACE(step.note);
    RecordCount = 1;
    blErrMsg = FALSE;
    ASSERT_EQ(blFileSave(), SaveWritten);
    const std::string previous = Log();

    RecordCount = 2;
    sim::Fail(step.op, 1, 1, step.error);
    EXPECT_EQ(blFileSave(), SaveRetry);
    EXPECT_EQ(Log(), previous);
    EXPECT_FALSE(sim::FileExists(folder + "/Tolvane0.log.tmp"));
    EXPECT_TRUE(blErrMsg);
    EXPECT_EQ(Narrow(szErrMsg), step.note);

    // Every later save carries the note after the records.
    ASSERT_EQ(blFileSave(), SaveWritten);
    EXPECT_EQ(Log(), Expected());
    EXPECT_NE(Log().find(std::string(step.note) + '\0'), std::string::npos);
  }
}

TEST_F(LogFileTest, LogHeldOpenByAnotherProgramIsRetried) {
  ASSERT_EQ(blFileSave(), SaveWritten);
  sim::LockFile(folder + "/Tolvane0.log", true);
  EXPECT_EQ(blFileSave(), SaveRetry);
  sim::LockFile(folder + "/Tolvane0.log", false);
  EXPECT_EQ(blFileSave(), SaveWritten);
  EXPECT_EQ(Log(), Expected());
}

TEST_F(LogFileTest, PlantedSymbolicLinksAreReplacedNotFollowed) {
  const std::string outside = folder + "/outside.txt";
  std::ofstream(outside) << "keep";
  ASSERT_EQ(symlink(outside.c_str(), (folder + "/Tolvane0.log").c_str()), 0);
  ASSERT_EQ(symlink(outside.c_str(), (folder + "/Tolvane0.log.tmp").c_str()), 0);

  ASSERT_EQ(blFileSave(), SaveWritten);
  EXPECT_EQ(sim::ReadFileBytes(outside), "keep");
  struct stat status;
  ASSERT_EQ(lstat((folder + "/Tolvane0.log").c_str(), &status), 0);
  EXPECT_TRUE(S_ISREG(status.st_mode));
  EXPECT_EQ(Log(), Expected());
}

TEST_F(LogFileTest, OneRecordWithTheLongestPathIsSavedWhole) {
  std::string path = "C:\\";
  while (Wide(path).size() < 259) path += "€";
  DataArray[0] = MakeRecord(1, 2, path);
  RecordCount = 1;
  ASSERT_EQ(blFileSave(), SaveWritten);
  EXPECT_EQ(Log(), Expected());
  EXPECT_NE(Log().find(path + "\r\n"), std::string::npos);
}

TEST_F(LogFileTest, ManyRecordsOutgrowTheFirstGuess) {
  for (DWORD i = 0; i < 1001; ++i) {
    std::string path = "C:\\" + std::string(200, 'p') + std::to_string(i);
    DataArray[i] = MakeRecord(1, i, path);
  }
  RecordCount = 1001;
  ASSERT_EQ(blFileSave(), SaveWritten);
  EXPECT_EQ(Log(), Expected());
}

TEST_F(LogFileTest, NoMemoryForTheTextEndsTheRunAfterAKey) {
  ASSERT_EQ(blFileSave(), SaveWritten);
  const std::string previous = Log();
  sim::Fail(sim::Op::HeapAlloc, 0);
  sim::PushKey('k');
  EXPECT_EQ(blFileSave(), SaveCannotGoOn);
  EXPECT_EQ(sim::MessageBoxes(),
            std::vector<std::string>{"FileSave(): Can't allocate memory to list process!"});
  EXPECT_EQ(sim::PendingKeys(), 1u) << "the key is left unread";
  EXPECT_EQ(Log(), previous);
}

TEST_F(LogFileTest, ErrorWithoutSystemTextStillLeavesANote) {
  sim::Fail(sim::Op::FormatMessage);
  SetLastError(1234);
  printError(WSTR("blFileSave(): Create file"));
  EXPECT_EQ(Narrow(szErrMsg), "\n  WARNING: blFileSave(): Create file failed with error 1234 ()");
}

}  // namespace
