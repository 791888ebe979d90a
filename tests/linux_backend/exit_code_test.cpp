// Exit codes of processes that are not the test's children, through each
// source the machine offers.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "platform/linux/compat.h"
#include "platform/process_services.h"
#include "test_children.h"
#include "test_support.h"

namespace {

struct ExitCase {
  const char* name;
  Ending ending;
  DWORD exitCode;
};

// A death by signal N reads as 128+N, as shells report it.
const ExitCase exitCases[] = {
    {"Zero", {0, 0}, 0},
    {"Seven", {7, 0}, 7},
    {"Largest", {255, 0}, 255},
    {"Terminated", {0, SIGTERM}, 128 + SIGTERM},
    {"Killed", {0, SIGKILL}, 128 + SIGKILL},
};

class ExitCodes : public testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    if (GetParam() == EXIT_CODE_SOURCE_CONNECTOR && geteuid() != 0)
      GTEST_SKIP() << "the process connector needs root";
    ForceExitCodeSource(GetParam());
    if (ServingExitCodeSource() != GetParam())
      GTEST_SKIP() << ExitCodeSourceName(GetParam()) << " is not available here";
  }
  void TearDown() override { ForceExitCodeSource(EXIT_CODE_SOURCE_AUTOMATIC); }
};

TEST_P(ExitCodes, AreRightForAGrandchildItsParentReaps) {
  for (const ExitCase& exit : exitCases) {
    ControlledGrandchild run = StartControlledGrandchild(exit.ending);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE,
                                 static_cast<DWORD>(run.grandchild.pid));
    ASSERT_NE(process, nullptr) << exit.name;
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(process, &code));
    EXPECT_EQ(code, STILL_ACTIVE) << exit.name;
    Release(&run.grandchild);
    EXPECT_EQ(WaitForSingleObject(process, INFINITE), WAIT_OBJECT_0) << exit.name;
    EXPECT_TRUE(GetExitCodeProcess(process, &code)) << exit.name;
    EXPECT_EQ(code, exit.exitCode) << exit.name;
    EXPECT_TRUE(CloseHandle(process));
    ReapChild(run.middle);
  }
}

INSTANTIATE_TEST_SUITE_P(EachSource, ExitCodes,
                         testing::Values(EXIT_CODE_SOURCE_PIDFD_INFO, EXIT_CODE_SOURCE_CONNECTOR),
                         [](const testing::TestParamInfo<int>& source) {
                           return source.param == EXIT_CODE_SOURCE_PIDFD_INFO ? "PidfdInfo"
                                                                              : "Connector";
                         });

TEST(ExitCodesWithoutSource, TheWaitEndsAndTheCodeIsNotClaimed) {
  ForceExitCodeSource(EXIT_CODE_SOURCE_NONE);
  ControlledGrandchild run = StartControlledGrandchild({3, 0});
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE,
                               static_cast<DWORD>(run.grandchild.pid));
  ASSERT_NE(process, nullptr);
  Release(&run.grandchild);
  EXPECT_EQ(WaitForSingleObject(process, INFINITE), WAIT_OBJECT_0);
  DWORD code = 12345;
  EXPECT_FALSE(GetExitCodeProcess(process, &code));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(CloseHandle(process));
  ReapChild(run.middle);
  ForceExitCodeSource(EXIT_CODE_SOURCE_AUTOMATIC);
}

}  // namespace
