// Tolvane.exe's command line, run for real: exact standard output bytes and
// exit codes. Narrow and wide text both leave through the C runtime in text
// mode, so every "\n" arrives as "\r\n" (and the title's "\r\n" as
// "\r\r\n").

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/windows/child_process.h"

namespace {

const std::string Title = " Tolvane Utility, Rev: 1.0.0.3\r\r\n" + std::string(79, '=');

const std::string Usage =
    "\r\nTolvane.EXE <-Sw1> <...> [/Command1] [...] ... <Parameter1> <...> ...\r\n"
    "  /? : This help screen.\r\n"
    "  -CT <n> : Set check timer, <n> seconds, n must > 0. (default=1)\r\n"
    "  -DT <n> : Set dump timer, <n> seconds, n must > 0. (default=5)\r\n"
    "  -DN <n> : Set dump process number/pre-Page, n must > 0. (default=20)\r\n"
    "  -ST <n> : Set save file timer, <n> seconds, n must > 0. (default=60)\r\n"
    "Return Code : OK(0), ERROR(255)\r\n"
    "Exp:\r\n"
    "  start /realtime Tolvane -> Start Tolvane and check all process in every 5 seconds.\r\n"
    "  start /realtime Tolvane /ct 10 -> Start Tolvane and check all process in every 10 "
    "seconds.\r\n";

std::string Refusal(const std::string& message) {
  return Title + message + Usage + "\r\nReturn_Code=255\r\n";
}

// A run of Tolvane.exe whose output is collected beside it, on a thread of
// its own, until the last writer of the pipe has closed it.
struct TolvaneRun {
  Child child;
  std::mutex lock;
  std::string output;  // under lock until the reader has been joined
  std::thread reader;
};

void CollectOutput(TolvaneRun* run) {
  char buffer[4096];
  DWORD read = 0;
  // A read of no bytes is not the end: only the last writer's close is.
  while (ReadFile(run->child.output, buffer, sizeof(buffer), &read, nullptr)) {
    std::lock_guard<std::mutex> guard(run->lock);
    run->output.append(buffer, read);
  }
}

bool StartTolvane(const std::wstring& arguments, ChildInput input, TolvaneRun* run) {
  if (!StartChild(TolvanePath(), arguments, input, 0, &run->child)) return false;
  run->reader = std::thread(CollectOutput, run);
  return true;
}

std::string OutputSoFar(TolvaneRun* run) {
  std::lock_guard<std::mutex> guard(run->lock);
  return run->output;
}

std::size_t Occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

bool Ended(const TolvaneRun& run, DWORD timeoutMs) {
  return WaitForSingleObject(run.child.process, timeoutMs) == WAIT_OBJECT_0;
}

DWORD ExitCodeOf(const TolvaneRun& run) {
  DWORD code = 0;
  GetExitCodeProcess(run.child.process, &code);
  return code;
}

void WriteKeys(const TolvaneRun& run, const std::string& keys) {
  DWORD written = 0;
  WriteFile(run.child.input, keys.data(), static_cast<DWORD>(keys.size()), &written, nullptr);
}

// Ends the run if it still goes on, and collects the rest of its output:
// the pipe is read to its end before it is closed.
void Finish(TolvaneRun* run) {
  if (WaitForSingleObject(run->child.process, 0) == WAIT_TIMEOUT) {
    TerminateProcess(run->child.process, 1);
    WaitForSingleObject(run->child.process, Patience);
  }
  if (run->reader.joinable()) run->reader.join();
  FinishChild(&run->child);
}

// The monitor writes its log beside the executable; the tests leave none.
std::vector<std::wstring> LogFiles() {
  const std::wstring tolvane = TolvanePath();
  const std::wstring folder = tolvane.substr(0, tolvane.find_last_of(L"\\/") + 1);
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"Tolvane*.log").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do names.push_back(folder + found.cFileName);
  while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

HANDLE InheritableFileWith(const std::string& bytes) {
  wchar_t folder[MAX_PATH];
  wchar_t name[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, L"tvk", 0, name);
  HANDLE file =
      CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  // Gone once the last handle to it is closed, the child's included.
  return CreateFileW(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, &inherit,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

struct RefusalCase {
  const char* label;
  std::wstring arguments;
  std::string expected;
};

TEST(CommandLine, RefusedWordsPrintTheUsageAndEndAtOnceWith255) {
  // One unit short of the output buffer is all that is printed of a long line.
  const std::wstring longWord = L"-" + std::wstring(3000, L'x');
  const std::string cutLine = "Unknown parameter: -" + std::string(2047 - 20, 'x');
  const RefusalCase cases[] = {
      {"help word", L"/?", Refusal("")},
      {"lone question mark", L"?", Refusal("")},
      {"option the parser lacks", L"-st 30", Refusal("Unknown parameter: -st\r\n")},
      {"slash form of an option", L"/ct 10", Refusal("Unknown parameter: /ct\r\n")},
      {"value missing", L"-ct", Refusal("check timer is empty!\r\n")},
      // Debug mode is not on yet when -x is refused, so no key is awaited.
      {"refusal before -d", L"-x -d", Refusal("Unknown parameter: -x\r\n")},
      {"text longer than the buffer", longWord,
       Title + cutLine + Usage + "\r\nReturn_Code=255\r\n"},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.label);
    TolvaneRun run;
    // Standard input stays open and empty: a wait for a key would not end.
    ASSERT_TRUE(StartTolvane(c.arguments, ChildInput{true, nullptr}, &run));
    const bool ended = Ended(run, Patience);
    EXPECT_TRUE(ended);
    const DWORD code = ExitCodeOf(run);
    Finish(&run);
    EXPECT_EQ(code, 255u);
    EXPECT_EQ(run.output, c.expected);
  }
}

enum class KeyFeed { PipeByteLater, FileWithByte, EmptyFile, ClosedEmptyPipe };

struct DebugWaitCase {
  const char* label;
  KeyFeed feed;
  bool keyArrives;
};

TEST(CommandLine, DebugModeRefusalWaitsForAKeyFromStandardInput) {
  const DebugWaitCase cases[] = {
      {"byte written to the pipe later", KeyFeed::PipeByteLater, true},
      {"file holding a byte", KeyFeed::FileWithByte, true},
      {"empty file", KeyFeed::EmptyFile, false},
      {"pipe closed with nothing sent", KeyFeed::ClosedEmptyPipe, false},
  };
  for (const DebugWaitCase& c : cases) {
    SCOPED_TRACE(c.label);
    ChildInput input{true, nullptr};
    if (c.feed == KeyFeed::FileWithByte) input = ChildInput{false, InheritableFileWith("k")};
    if (c.feed == KeyFeed::EmptyFile) input = ChildInput{false, InheritableFileWith("")};
    TolvaneRun run;
    const bool started = StartTolvane(L"-d -x", input, &run);
    if (input.handle != nullptr) CloseHandle(input.handle);
    ASSERT_TRUE(started);
    if (c.feed == KeyFeed::ClosedEmptyPipe) {
      CloseHandle(run.child.input);
      run.child.input = nullptr;
    }

    if (c.feed != KeyFeed::FileWithByte) {
      EXPECT_FALSE(Ended(run, 1500)) << "ended before any key could be read";
    }
    if (c.feed == KeyFeed::PipeByteLater) WriteKeys(run, "k");
    if (c.keyArrives) {
      EXPECT_TRUE(Ended(run, Patience)) << "the key did not end the wait";
      EXPECT_EQ(ExitCodeOf(run), 255u);
    }
    Finish(&run);
    EXPECT_EQ(run.output, Refusal("Unknown parameter: -x\r\n"));
  }
}

TEST(CommandLine, MonitorGoesOnWithoutKeysAndEscOnStandardInputStopsItWith0) {
  const std::vector<std::wstring> logsBefore = LogFiles();
  TolvaneRun run;
  // A scan and a redraw on every tick.
  ASSERT_TRUE(StartTolvane(L"-ct 0 -dt 0", ChildInput{true, nullptr}, &run));
  // The start prints the title, the first page and the first tick's
  // redraw; a fourth title is only reached past a key check that found none.
  EXPECT_TRUE(WaitUntil([&] { return Occurrences(OutputSoFar(&run), Title) >= 4; }, Patience))
      << "no redraw while no key was pending";
  WriteKeys(run, "\x1b");
  EXPECT_TRUE(Ended(run, Patience));
  const DWORD code = ExitCodeOf(run);
  Finish(&run);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(run.output.rfind(Title, 0), 0u) << run.output;
  const std::string end = "\r\nReturn_Code=0\r\n";
  ASSERT_GE(run.output.size(), end.size());
  EXPECT_EQ(run.output.substr(run.output.size() - end.size()), end);

  for (const std::wstring& log : LogFiles()) {
    bool earlier = false;
    for (const std::wstring& before : logsBefore) earlier = earlier || before == log;
    if (!earlier) DeleteFileW(log.c_str());
  }
}

}  // namespace
