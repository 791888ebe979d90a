#include "tests/packaging/conversion_check.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/packaging/csv_text.h"
#include "tests/packaging/log_reading.h"

const char* const CsvHeader =
    "No,Valid,LostClose,HandleState,ParentID,ProcessID,Handle,SubProcessNo,ExitCode,"
    "EndExitCode,tStart,tEnd,tUseTime,FilePathName";

CommandResult ConvertLog(const std::string& logPath) {
  return RunCommand(Quoted(TOLVANE_SOURCE_DIR "/scripts/log2csv") + " " + Quoted(logPath));
}

void ExpectCsvDescribesLog(const std::string& log, const std::string& csv) {
  std::vector<CsvRow> rows;
  ASSERT_TRUE(ParseCsv(csv, rows)) << csv;
  const std::vector<LoggedRecord> records = LoggedRecords(log);
  ASSERT_FALSE(records.empty()) << log;
  ASSERT_EQ(rows.size(), records.size() + 1) << csv;
  std::vector<CsvRow> header;
  ParseCsv(CsvHeader, header);
  EXPECT_EQ(rows[0], header[0]);
  for (std::size_t i = 0; i < records.size(); ++i) {
    const LoggedRecord& r = records[i];
    SCOPED_TRACE("record " + r.no);
    const std::string endExitCode =
        r.endExitCode.empty() ? "" : std::to_string(std::stoul(r.endExitCode, nullptr, 16));
    const CsvRow expected = {r.no,
                             r.valid,
                             r.lostClose,
                             r.handleState,
                             std::to_string(r.parentId),
                             std::to_string(r.processId),
                             std::to_string(r.handle),
                             r.subProcessNo,
                             std::to_string(r.exitCode),
                             endExitCode,
                             IsoTime(r.start),
                             IsoTime(r.end),
                             Seconds(r.start, r.end),
                             r.filePathName};
    EXPECT_EQ(rows[i + 1], expected);
  }
}
