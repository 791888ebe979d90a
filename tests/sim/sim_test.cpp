// Self-tests of the simulated platform: the behaviours the logic tests
// stand on, where a mistake in the sim would hide a mistake in the program.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/console_services.h"
#include "platform/process_services.h"
#include "tests/sim/sim.h"

namespace {

constexpr DWORD ProcessAccess = SYNCHRONIZE | PROCESS_QUERY_INFORMATION;

class Sim : public ::testing::Test {
 protected:
  void SetUp() override { sim::Reset(); }
  void TearDown() override { sim::Reset(); }
};

struct WaitJob {
  HANDLE process;
  DWORD waitResult;
  DWORD exitCode;
};

DWORD WINAPI WaitThenReadCode(LPVOID argument) {
  WaitJob* job = static_cast<WaitJob*>(argument);
  job->waitResult = WaitForSingleObject(job->process, INFINITE);
  GetExitCodeProcess(job->process, &job->exitCode);
  ExitThread(0);
  return 0;
}

std::uint64_t Value(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

TEST_F(Sim, ReusedPidIsNewProcessWhileOldHandleKeepsOldEnd) {
  sim::AddProcess(200, 100, "worker.exe", "C:\\bin\\worker.exe", 1000);
  HANDLE old = OpenProcess(ProcessAccess, FALSE, 200);
  ASSERT_NE(old, nullptr);
  sim::EndProcess(200, 3, 5000, 70, 80);
  sim::AddProcess(200, 300, "other.exe", "C:\\bin\\other.exe", 6000);
  HANDLE fresh = OpenProcess(ProcessAccess, FALSE, 200);
  ASSERT_NE(fresh, nullptr);

  DWORD code = 0;
  FILETIME creation, exit, kernel, user;
  ASSERT_TRUE(GetExitCodeProcess(old, &code));
  EXPECT_EQ(code, 3u);
  ASSERT_TRUE(GetProcessTimes(old, &creation, &exit, &kernel, &user));
  EXPECT_EQ(Value(creation), 1000u);
  EXPECT_EQ(Value(exit), 5000u);
  EXPECT_EQ(Value(kernel), 70u);
  EXPECT_EQ(Value(user), 80u);
  EXPECT_EQ(WaitForSingleObject(old, INFINITE), WAIT_OBJECT_0);

  ASSERT_TRUE(GetExitCodeProcess(fresh, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  ASSERT_TRUE(GetProcessTimes(fresh, &creation, &exit, &kernel, &user));
  EXPECT_EQ(Value(creation), 6000u);
  EXPECT_EQ(Value(exit), 0u);

  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  ASSERT_TRUE(Process32FirstW(snapshot, &entry));
  EXPECT_EQ(entry.th32ParentProcessID, 300u);
  EXPECT_EQ(std::u16string(entry.szExeFile), u"other.exe");
  EXPECT_FALSE(Process32NextW(snapshot, &entry));
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_EQ(std::u16string(entry.szExeFile), u"other.exe");  // left unchanged

  for (HANDLE handle : {old, fresh, snapshot}) EXPECT_TRUE(CloseHandle(handle));
  EXPECT_EQ(sim::HandleMisuseCount(), 0);
  EXPECT_EQ(sim::OpenHandleCount(), 0);
}

TEST_F(Sim, EveryUseOfAReleasedOrWrongHandleIsCountedAndFails) {
  sim::AddProcess(200, 100, "worker.exe", "");
  struct Case {
    const char* name;
    std::function<bool()> fails;
  };
  auto closedProcess = [] {
    HANDLE process = OpenProcess(ProcessAccess, FALSE, 200);
    CloseHandle(process);
    return process;
  };
  const Case cases[] = {
      {"double close", [&] { return !CloseHandle(closedProcess()); }},
      {"exit code after close",
       [&] {
         DWORD code;
         return !GetExitCodeProcess(closedProcess(), &code);
       }},
      {"times after close",
       [&] {
         FILETIME t[4];
         return !GetProcessTimes(closedProcess(), &t[0], &t[1], &t[2], &t[3]);
       }},
      {"wait after close",
       [&] { return WaitForSingleObject(closedProcess(), INFINITE) == WAIT_FAILED; }},
      {"snapshot read after close",
       [] {
         HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
         CloseHandle(snapshot);
         PROCESSENTRY32W entry{};
         entry.dwSize = sizeof entry;
         return !Process32FirstW(snapshot, &entry);
       }},
      {"close of INVALID_HANDLE_VALUE", [] { return !CloseHandle(INVALID_HANDLE_VALUE); }},
      {"write to a process handle",
       [] {
         HANDLE process = OpenProcess(ProcessAccess, FALSE, 200);
         DWORD written;
         bool failed = !WriteFile(process, "x", 1, &written, nullptr);
         CloseHandle(process);
         return failed;
       }},
      {"heap block freed twice",
       [] {
         void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 16);
         HeapFree(GetProcessHeap(), 0, block);
         return !HeapFree(GetProcessHeap(), 0, block);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int before = sim::HandleMisuseCount();
    EXPECT_TRUE(c.fails());
    EXPECT_EQ(sim::HandleMisuseCount(), before + 1);
  }
  EXPECT_EQ(sim::OpenHandleCount(), 0);
  EXPECT_EQ(sim::LiveHeapBlocks(), 0);
}

TEST_F(Sim, WaitBlocksUntilTheProcessEndsAndHeldWaitersUntilReleased) {
  sim::AddProcess(200, 100, "worker.exe", "");
  WaitJob job{OpenProcess(ProcessAccess, FALSE, 200), WAIT_FAILED, 0};
  HANDLE thread = CreateThread(nullptr, WAITER_STACK_SIZE, WaitThenReadCode, &job, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  ASSERT_TRUE(sim::WaitForThreadsIdle());
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);

  sim::HoldWaiters(true);
  sim::EndProcess(200, 7);
  ASSERT_TRUE(sim::WaitForThreadsIdle());
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(job.process, &code));
  EXPECT_EQ(code, 7u);  // the end is visible before the waiter runs

  sim::HoldWaiters(false);
  ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
  EXPECT_EQ(job.waitResult, WAIT_OBJECT_0);
  EXPECT_EQ(job.exitCode, 7u);
  EXPECT_EQ(sim::ThreadsFinished(), 1);
  EXPECT_TRUE(CloseHandle(job.process));
  EXPECT_EQ(sim::HandleMisuseCount(), 0);
}

TEST_F(Sim, ClosingAHandleAnotherThreadWaitsOnIsAMisuse) {
  sim::AddProcess(200, 100, "worker.exe", "");
  WaitJob job{OpenProcess(ProcessAccess, FALSE, 200), WAIT_OBJECT_0, 0};
  HANDLE thread = CreateThread(nullptr, WAITER_STACK_SIZE, WaitThenReadCode, &job, 0, nullptr);
  ASSERT_TRUE(sim::WaitForThreadsIdle());
  EXPECT_TRUE(CloseHandle(job.process));
  ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
  EXPECT_EQ(job.waitResult, WAIT_FAILED);
  EXPECT_EQ(sim::HandleMisuseCount(), 2);  // the close, then the waiter's read
}

TEST_F(Sim, ResetEndsProcessesJoinsWaitersAndCountsLeakedHandles) {
  sim::AddProcess(200, 100, "worker.exe", "");
  WaitJob job{OpenProcess(ProcessAccess, FALSE, 200), WAIT_FAILED, 99};
  ASSERT_NE(CreateThread(nullptr, WAITER_STACK_SIZE, WaitThenReadCode, &job, 0, nullptr), nullptr);
  sim::HoldWaiters(true);
  EXPECT_EQ(sim::Reset(), 1);  // the process handle; the thread handle stays open by design
  EXPECT_EQ(job.waitResult, WAIT_OBJECT_0);
  EXPECT_EQ(job.exitCode, 0u);
  EXPECT_EQ(sim::OpenHandleCount(), 0);
  EXPECT_EQ(OpenProcess(ProcessAccess, FALSE, 200), nullptr);
}

TEST_F(Sim, FaultHitsTheNthCallFromNowForTheGivenRun) {
  sim::AddProcess(200, 100, "worker.exe", "");
  struct Case {
    int nth;
    int times;
    const char* pattern;  // X = that call fails
  };
  const Case cases[] = {{1, 1, "X...."}, {3, 1, "..X.."}, {2, 2, ".XX.."}, {0, 1, "XXXXX"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    sim::ClearFaults();
    CloseHandle(OpenProcess(ProcessAccess, FALSE, 200));  // calls before Fail do not count
    int callsBefore = sim::CallCount(sim::Op::OpenProcess);
    sim::Fail(sim::Op::OpenProcess, c.nth, c.times, ERROR_GEN_FAILURE);
    std::string seen;
    for (int call = 0; call < 5; ++call) {
      HANDLE process = OpenProcess(ProcessAccess, FALSE, 200);
      if (process == nullptr) {
        EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
        seen += 'X';
      } else {
        CloseHandle(process);
        seen += '.';
      }
    }
    EXPECT_EQ(seen, c.pattern);
    EXPECT_EQ(sim::CallCount(sim::Op::OpenProcess), callsBefore + 5);
  }
  EXPECT_EQ(sim::OpenHandleCount(), 0);
}

TEST_F(Sim, LockedFileRefusesCreateReplaceAndDeleteWithSharingViolation) {
  std::string folder = sim::ProgramFolder();
  std::u16string wideFolder(folder.begin(), folder.end());  // the scratch folder is ASCII
  ASSERT_TRUE(SetCurrentDirectoryW(wideFolder.c_str()));
  auto create = [](const WCHAR* name, DWORD disposition) {
    return CreateFileW(name, GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
  };
  HANDLE file = create(u"Tolvane0.log", CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file, "old", 3, &written, nullptr));
  ASSERT_TRUE(CloseHandle(file));
  HANDLE temporary = create(u"Tolvane0.tmp", CREATE_NEW);
  ASSERT_TRUE(CloseHandle(temporary));

  sim::LockFile(folder + "/Tolvane0.log", true);
  EXPECT_EQ(create(u"Tolvane0.log", CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(MoveFileExW(u"Tolvane0.tmp", u"Tolvane0.log", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(DeleteFileW(u"Tolvane0.log"));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(sim::ReadFileBytes(folder + "/Tolvane0.log"), "old");

  sim::LockFile(folder + "/Tolvane0.log", false);
  EXPECT_TRUE(MoveFileExW(u"Tolvane0.tmp", u"Tolvane0.log", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(sim::ReadFileBytes(folder + "/Tolvane0.log"), "");
  EXPECT_FALSE(sim::FileExists(folder + "/Tolvane0.tmp"));

  // An exclusive creation never goes through a link planted at its name.
  ASSERT_EQ(symlink((folder + "/Tolvane0.log").c_str(), (folder + "/planted.tmp").c_str()), 0);
  EXPECT_EQ(create(u"planted.tmp", CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
  EXPECT_EQ(sim::HandleMisuseCount(), 0);
}

TEST_F(Sim, ScreensSplitAtCursorHomeAndClearsAreCounted) {
  HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
  auto clear = [console] {
    DWORD written;
    FillConsoleOutputAttribute(console, 7, 2000, COORD{0, 0}, &written);
    FillConsoleOutputCharacterW(console, u' ', 2000, COORD{0, 0}, &written);
    SetConsoleCursorPosition(console, COORD{0, 0});
  };
  ConsolePrintA("title %d\n", 1);
  clear();
  ConsolePrintW(u"%-4s|%03d\n", u"\u00fc", 7);
  clear();
  ConsolePrintA("%s", "last");
  SetConsoleCursorPosition(console, COORD{0, 0});

  EXPECT_EQ(sim::Screens(), (std::vector<std::string>{"title 1\n", "\u00fc   |007\n", "last", ""}));
  EXPECT_EQ(sim::Output(), "title 1\n\u00fc   |007\nlast");
  EXPECT_EQ(sim::ClearCount(), 2);
  EXPECT_EQ(sim::ConsoleOps().front(), "attr 7 2000 0,0");
  sim::ClearOutput();
  EXPECT_EQ(sim::Screens(), std::vector<std::string>{""});
}

TEST_F(Sim, ClockStartsAtTheScenarioTimeAndOnlySleepMovesIt) {
  SYSTEMTIME now;
  GetSystemTime(&now);
  EXPECT_EQ(std::vector<int>({now.wYear, now.wMonth, now.wDay, now.wDayOfWeek, now.wHour,
                              now.wMinute, now.wSecond, now.wMilliseconds}),
            std::vector<int>({2026, 1, 2, 5, 3, 4, 5, 0}));
  FILETIME converted;
  ASSERT_TRUE(SystemTimeToFileTime(&now, &converted));
  EXPECT_EQ(Value(converted), sim::Clock());
  EXPECT_EQ(sim::FileTimeOf(1970, 1, 1, 0, 0, 0), 116444736000000000ull);

  std::vector<std::uint64_t> seen;
  sim::OnSleep([&seen] { seen.push_back(sim::Clock()); });
  sim::SetSleepLimit(2);
  std::uint64_t start = sim::Clock();
  Sleep(250);
  Sleep(100);
  EXPECT_EQ(seen, (std::vector<std::uint64_t>{start + 2500000, start + 3500000}));
  try {
    Sleep(250);
    ADD_FAILURE() << "the Sleep past the limit returned";
  } catch (const sim::ProgramExit& e) {
    EXPECT_EQ(e.code, sim::RunawayExitCode);
  }
  EXPECT_EQ(sim::SleepCount(), 3);
}

TEST_F(Sim, SystemTextsFollowWindowsConventions) {
  WCHAR text[256];
  const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  const DWORD language = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);
  ASSERT_EQ(FormatMessageW(flags, nullptr, 5, language, text, 256, nullptr), 19u);
  EXPECT_EQ(std::u16string(text), u"Access is denied.\r\n");
  EXPECT_EQ(FormatMessageW(flags, nullptr, 123456, language, text, 256, nullptr), 0u);
  EXPECT_EQ(GetLastError(), 317u);

  char narrow[8];
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"a\u00fc", -1, nullptr, 0, nullptr, nullptr), 4);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"a\u00fc", -1, narrow, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, u"a\u00fc", -1, narrow, 8, nullptr, nullptr), 4);
  EXPECT_EQ(std::string(narrow), "a\u00fc");
}

}  // namespace
