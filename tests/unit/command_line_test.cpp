// Option values and the exits of the command line, in process on the
// simulated platform (the real binary is checked by the Linux suite).
#include <gtest/gtest.h>

#include "control/command_line.h"
#include "control/settings.h"
#include "tests/unit/program_state.h"

namespace {

struct ValueCase {
  const char* text;
  DWORD value;
};

class OptionValueTest : public ::testing::TestWithParam<ValueCase> {};

TEST_P(OptionValueTest, ConvertsLikeTheCLibrary) {
  EXPECT_EQ(ConvertOptionValue(Wide(GetParam().text).c_str()), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Values, OptionValueTest,
    ::testing::Values(ValueCase{"10", 10}, ValueCase{"0x1e", 30}, ValueCase{"0X1E", 30},
                      ValueCase{"abc", 0}, ValueCase{"7x", 7}, ValueCase{"", 0},
                      ValueCase{"  42", 42}, ValueCase{"\t+8", 8}, ValueCase{"-1", 0xFFFFFFFFu},
                      ValueCase{"-2", 0xFFFFFFFEu}, ValueCase{"4294967295", 0xFFFFFFFFu},
                      ValueCase{"4294967296", 0xFFFFFFFFu},
                      ValueCase{"99999999999999999999999", 0xFFFFFFFFu},
                      ValueCase{"-4294967296", 0xFFFFFFFFu}, ValueCase{"12abc", 12},
                      ValueCase{"0x", 0}, ValueCase{"0xg", 0}, ValueCase{"1x", 1},
                      ValueCase{"fx", 15}, ValueCase{"0xFFFFFFFF", 0xFFFFFFFFu},
                      ValueCase{"0x100000000", 0xFFFFFFFFu}, ValueCase{"-", 0},
                      ValueCase{" -0x10", 0}, ValueCase{"08", 8}, ValueCase{"5 6", 5}));

TEST(CommandLine, OptionsSetTheSettingsAndLaterOnesWin) {
  ResetProgramState();
  sim::SetSelf(100, 50);
  sim::PushKey(0x1B);
  EXPECT_EQ(RunProgram({"-CT", "10", "-Dn", "0x1e", "-dt", "3", "-ct", "2"}), 0u);
  EXPECT_EQ(CheckTimer, 2u);
  EXPECT_EQ(DumpNumber, 30u);
  EXPECT_EQ(DumpTimer, 3u);
  EXPECT_FALSE(blDebug);
}

TEST(CommandLine, ValueOptionTakesTheNextWordWhateverItIs) {
  ResetProgramState();
  sim::SetSelf(100, 50);
  sim::PushKey(0x1B);
  EXPECT_EQ(RunProgram({"-ct", "-d"}), 0u);
  EXPECT_EQ(CheckTimer, 0u);
  EXPECT_FALSE(blDebug);
}

TEST(CommandLine, DebugRefusalWaitsForAKeyOnlyWhenDebugWasReadFirst) {
  ResetProgramState();
  sim::OnSleep([] {
    if (sim::SleepCount() == 3) sim::PushKey(' ');
  });
  EXPECT_EQ(RunProgram({"-d", "-x"}), 255u);
  EXPECT_EQ(sim::SleepCount(), 3);
  sim::OnSleep(nullptr);

  ResetProgramState();
  EXPECT_EQ(RunProgram({"-x", "-d"}), 255u);
  EXPECT_EQ(sim::SleepCount(), 0);
  EXPECT_NE(sim::Output().find("Unknown parameter: -x\n"), std::string::npos);
}

}  // namespace
