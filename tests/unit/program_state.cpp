#include "tests/unit/program_state.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "control/program.h"
#include "control/save_schedule.h"
#include "control/settings.h"
#include "platform/wide_text.h"
#include "presentation/console_view.h"
#include "presentation/log_file.h"

namespace {

// The last scenario's waiter threads are joined before the test binary
// ends, as every scenario's are when the next one starts.
class JoinWaitersAtEnd : public ::testing::Environment {
 public:
  void TearDown() override { sim::Reset(); }
};

[[maybe_unused]] ::testing::Environment* const joinWaitersAtEnd =
    ::testing::AddGlobalTestEnvironment(new JoinWaitersAtEnd);

}  // namespace

void ResetProgramState() {
  // The world first: it ends and joins the previous scenario's waiters,
  // which write into the records.
  sim::Reset();
  std::memset(static_cast<void*>(DataArray), 0, sizeof(DataArray));
  RecordCount = 0;
  CurrentPage = 0;
  CheckTimer = 1;
  DumpTimer = 5;
  DumpNumber = 20;
  blDebug = FALSE;
  blErrMsg = FALSE;
  szErrMsg[0] = 0;
  szLogFileName[0] = 0;
  NextSave = 0;
  tProgramStart = SYSTEMTIME{};
}

unsigned RunProgram(const std::vector<std::string>& words) {
  std::vector<std::u16string> text{u"Tolvane.exe"};
  for (const std::string& word : words) text.push_back(Wide(word));
  std::vector<WCHAR*> argv;
  for (std::u16string& word : text) argv.push_back(word.data());
  argv.push_back(nullptr);
  try {
    TolvaneMain(static_cast<int>(text.size()), argv.data());
  } catch (const sim::ProgramExit& exit) {
    return exit.code;
  }
}

std::u16string Wide(const std::string& text) {
  std::u16string wide(Utf8ToUtf16(text.c_str(), nullptr, 0) + 1, u'\0');
  Utf8ToUtf16(text.c_str(), wide.data(), wide.size());
  wide.pop_back();
  return wide;
}

std::string Narrow(const WCHAR* text) {
  std::string narrow(Utf16ToUtf8(text, nullptr, 0) + 1, '\0');
  Utf16ToUtf8(text, narrow.data(), narrow.size());
  narrow.pop_back();
  return narrow;
}

bool WaitForRecordEnded(DWORD index) {
  for (int i = 0; i < 5000; ++i) {
    if (ReadRecord(index).HandleClosed == 1) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

ProcessData MakeRecord(DWORD parent, DWORD pid, const std::string& path) {
  ProcessData record{};
  record.Valid = 1;
  record.ParentID = parent;
  record.ProcessID = pid;
  std::u16string wide = Wide(path);
  WideCopy(record.FilePathName, MAX_PATH, wide.c_str());
  std::size_t slash = path.find_last_of("\\/");
  std::u16string name = Wide(slash == std::string::npos ? path : path.substr(slash + 1));
  WideCopy(record.ExeName, MAX_PATH, name.c_str());
  return record;
}
