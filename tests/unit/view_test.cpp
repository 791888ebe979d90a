// The paged console table and its keys, on the simulated console.
#include <gtest/gtest.h>

#include <sstream>

#include "control/settings.h"
#include "presentation/console_view.h"
#include "tests/unit/program_state.h"

namespace {

const std::string Title = " Tolvane Utility, Rev: 1.0.0.3\r\n" + std::string(79, '=') +
                          "\n No | Parent | Own ID | Handle | SN | Exit_C |    FileName\n" +
                          std::string(79, '-') + "\n";

void FillTable(DWORD count) {
  for (DWORD i = 0; i < count; ++i) {
    DataArray[i] = MakeRecord(0x32, 0x100 + i, "C:\\jobs\\w" + std::to_string(i) + ".exe");
    DataArray[i].Handle = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x40 + 4 * i));
    DataArray[i].HandleOpen = 1;
  }
  RecordCount = count;
}

// Row numbers on a screen, in order.
std::vector<int> RowNumbers(const std::string& screen) {
  std::vector<int> rows;
  std::istringstream lines(screen);
  std::string line;
  bool inTable = false;
  while (std::getline(lines, line)) {
    if (line == std::string(79, '-')) {
      inTable = true;
    } else if (inTable && line.rfind("Total", 0) != 0 && line.size() > 1) {
      rows.push_back(std::stoi(line.substr(1)));
    }
  }
  return rows;
}

class ViewTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetProgramState(); }
};

TEST_F(ViewTest, OneRecordShowsItsRowAndNoTotal) {
  DataArray[0] = MakeRecord(0x32, 0x64, "C:\\tolvane\\Tolvane.exe");
  DataArray[0].Handle = reinterpret_cast<HANDLE>(0x40);
  DataArray[0].HandleOpen = 1;
  DataArray[0].SubProcessNo = 0;
  RecordCount = 1;
  DumpProcessList();
  EXPECT_EQ(sim::LastScreen(),
            Title + "*1   00000032 00000064 00000040 0    00000000 C:\\tolvane\\Tolvane.exe\n");
  EXPECT_EQ(sim::ClearCount(), 1);
  const std::vector<std::string> clear = {"attr 7 2000 0,0", "char 32 2000 0,0", "home 0,0"};
  EXPECT_EQ(sim::ConsoleOps(), clear);
}

TEST_F(ViewTest, RowsShowMarkerCountsExitCodeAndTheLast33UnitsOfLongNames) {
  // Ended, with children and an exit code in lower-case hexadecimal.
  DataArray[0] = MakeRecord(0x32, 0x1FA4, "C:\\jobs\\build.cmd");
  DataArray[0].Handle = reinterpret_cast<HANDLE>(0x1AC);
  DataArray[0].HandleClosed = 1;
  DataArray[0].SubProcessNo = 12;
  DataArray[0].ExitCode = 0xC000013A;
  // A 50-unit path, cut to its last 33 units.
  const std::string longPath = "C:\\a\\very\\long\\folder\\name\\for\\th\\tests\\worker.exe";
  ASSERT_EQ(longPath.size(), 50u);
  DataArray[1] = MakeRecord(0x1FA4, 0x20, longPath);
  DataArray[1].Handle = reinterpret_cast<HANDLE>(0x1B0);
  DataArray[1].HandleOpen = 1;
  // No handle could be opened, no path could be read: the name alone.
  DataArray[2] = MakeRecord(0x1FA4, 0x24, "");
  std::u16string name = u"svc.exe";
  std::copy(name.begin(), name.end() + 1, DataArray[2].ExeName);
  RecordCount = 3;

  DumpProcessList();
  EXPECT_EQ(
      sim::LastScreen(),
      Title +
          " 1   00000032 00001FA4 000001AC 12   c000013a C:\\jobs\\build.cmd\n"
          "*2   00001FA4 00000020 000001B0 0    00000000 lder\\name\\for\\th\\tests\\worker.exe\n"
          " 3   00001FA4 00000024 00000000 0    00000000 svc.exe\n"
          "Total recorded processes=3   \n");
}

struct PagingCase {
  const char* name;
  DWORD records;
  DWORD perPage;
  std::vector<int> keys;
  DWORD page;
  std::vector<int> rows;
  int redraws;
};

class PagingTest : public ViewTest, public ::testing::WithParamInterface<PagingCase> {};

TEST_P(PagingTest, KeysPageWithinBounds) {
  const PagingCase& c = GetParam();
  FillTable(c.records);
  DumpNumber = c.perPage;
  for (int key : c.keys) sim::PushKey(key);
  while (sim::PendingKeys() > 0) ASSERT_TRUE(CheckKeyboard());
  EXPECT_EQ(CurrentPage, c.page);
  EXPECT_EQ(sim::ClearCount(), c.redraws);
  DumpProcessList();
  EXPECT_EQ(RowNumbers(sim::LastScreen()), c.rows);
  const bool total = sim::LastScreen().find("Total recorded processes=") != std::string::npos;
  EXPECT_EQ(total, c.records >= 2);
}

std::vector<int> Range(int from, int to) {
  std::vector<int> rows;
  for (int i = from; i <= to; ++i) rows.push_back(i);
  return rows;
}

constexpr int Tab = 0x09, Ext = 0xE0, PageUp = 0x49, PageDown = 0x51;

INSTANTIATE_TEST_SUITE_P(
    Keys, PagingTest,
    ::testing::Values(
        PagingCase{"first_page", 45, 20, {}, 0, Range(1, 20), 0},
        PagingCase{"tab", 45, 20, {Tab}, 1, Range(21, 40), 1},
        PagingCase{"tab_to_last", 45, 20, {Tab, Tab}, 2, Range(41, 45), 2},
        PagingCase{"tab_wraps", 45, 20, {Tab, Tab, Tab}, 0, Range(1, 20), 3},
        PagingCase{"page_past_the_records", 40, 20, {Tab, Tab}, 2, {}, 2},
        PagingCase{"page_down_stops_at_last",
                   45,
                   20,
                   {Ext, PageDown, Ext, PageDown, Ext, PageDown},
                   2,
                   Range(41, 45),
                   2},
        PagingCase{"page_up_back", 45, 20, {Tab, Ext, PageUp}, 0, Range(1, 20), 2},
        PagingCase{"page_up_at_first_does_nothing", 45, 20, {Ext, PageUp}, 0, Range(1, 20), 0},
        PagingCase{
            "zero_prefix_key_ignored", 45, 20, {0x00, PageDown, 0x00, 0x3B}, 0, Range(1, 20), 0},
        PagingCase{"e1_prefix_ignored", 45, 20, {0xE1, PageDown}, 0, Range(1, 20), 0},
        PagingCase{"other_keys_ignored", 45, 20, {'a', 0x0D}, 0, Range(1, 20), 0},
        PagingCase{"one_record", 1, 20, {Tab}, 0, {1}, 1},
        PagingCase{"no_rows_per_page", 45, 0, {Tab, Ext, PageDown}, 0, {}, 1}),
    [](const ::testing::TestParamInfo<PagingCase>& info) { return info.param.name; });

TEST_F(ViewTest, EscStopsAndNoKeyGoesOn) {
  EXPECT_TRUE(CheckKeyboard());
  sim::PushKeys({0x1B, Tab});
  EXPECT_FALSE(CheckKeyboard());
  EXPECT_EQ(sim::PendingKeys(), 1u) << "one key per call";
}

}  // namespace
