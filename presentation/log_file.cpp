#include "presentation/log_file.h"

#include <cstring>

#include "control/settings.h"
#include "platform/wide_text.h"
#include "presentation/log_format.h"
#include "tracking/process_table.h"

WCHAR szLogFileName[MAX_PATH];
WCHAR szErrMsg[MAX_PATH];
BOOL blErrMsg = FALSE;

namespace {

// The save's text, grown as it is built so that any number of records and
// any path length fit. A failed allocation is remembered, not thrown.
struct LogText {
  char* bytes;
  std::size_t length;
  std::size_t capacity;
  bool outOfMemory;
};

bool Reserve(LogText& text, std::size_t needed) {
  if (text.outOfMemory) return false;
  if (needed <= text.capacity) return true;
  std::size_t capacity = text.capacity * 2 > needed ? text.capacity * 2 : needed;
  void* grown = text.bytes == nullptr ? HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, capacity)
                                      : HeapReAlloc(GetProcessHeap(), 0, text.bytes, capacity);
  if (grown == nullptr) {
    text.outOfMemory = true;
    return false;
  }
  text.bytes = static_cast<char*>(grown);
  text.capacity = capacity;
  return true;
}

void AppendBytes(LogText& text, const char* bytes, std::size_t count) {
  if (!Reserve(text, text.length + count + 1)) return;
  std::memcpy(text.bytes + text.length, bytes, count);
  text.length += count;
  text.bytes[text.length] = 0;
}

void Release(LogText& text) {
  if (text.bytes != nullptr) HeapFree(GetProcessHeap(), 0, text.bytes);
  text.bytes = nullptr;
}

void DebugLine(const WCHAR* line) {
  if (blDebug) ConsolePrintW(line);
}

// Waits until a key press is pending (it stays unread), or a stop is asked.
void AwaitKey() {
  while (!KeyPressPending() && !StopRequested()) Sleep(1000);
}

// Builds the whole log text: header, one line per record, the note, and the
// terminating zero byte, which is counted in the length.
bool BuildText(LogText& text) {
  // A first guess that fits typical lines; the text grows past it if needed.
  if (!Reserve(text, 1024 + static_cast<std::size_t>(RecordCount) * 400)) return false;
  SYSTEMTIME now;
  GetSystemTime(&now);
  char line[LogLineSize];
  AppendBytes(text, line, FormatLogHeader(tProgramStart, now, line, sizeof(line)));
  for (DWORD i = 0; i < RecordCount; ++i) {
    const ProcessData record = ReadRecord(i);
    AppendBytes(text, line, FormatLogLine(record, i, line, sizeof(line)));
  }
  if (blErrMsg) {
    DebugLine(WSTR("blFileSave(): szErrMsg=&s\n"));
    char note[4 * MAX_PATH];
    AppendBytes(text, note, ToAnsi(szErrMsg, note, sizeof(note)));
  }
  AppendBytes(text, "", 1);
  return !text.outOfMemory;
}

// Removes a failed save's temporary file, keeping the failure's own error.
void DiscardTemporary(const WCHAR* name) {
  DWORD error = GetLastError();
  DeleteFileW(name);
  SetLastError(error);
}

// Writes the text to a fresh temporary file beside the log, flushes it to
// disk and then puts it in the log's place in one step, so that the
// previous log stays whole until the new one is complete.
int WriteReplacing(const LogText& text) {
  WCHAR temporary[MAX_PATH + 8];
  FormatTextW(temporary, sizeof(temporary) / sizeof(temporary[0]), WSTR("%s.tmp"), szLogFileName);
  DeleteFileW(temporary);  // left by a run that was killed while saving

  HANDLE file =
      CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    printError(WSTR("blFileSave(): Create file"));
    DebugLine(WSTR("blFileSave(): Create file fail!!\n"));
    return SaveRetry;
  }
  DWORD written = 0;
  if (!WriteFile(file, text.bytes, static_cast<DWORD>(text.length), &written, nullptr)) {
    printError(WSTR("blFileSave(): Write file"));
    CloseHandle(file);
    DiscardTemporary(temporary);
    DebugLine(WSTR("blFileSave(): Write file fail!\n"));
    return SaveRetry;
  }
  if (written != text.length) {
    // A write that stops short without an error is a full disk.
    SetLastError(ERROR_DISK_FULL);
    printError(WSTR("blFileSave(): Write file"));
    CloseHandle(file);
    DiscardTemporary(temporary);
    DebugLine(WSTR("blFileSave(): Write file with wrong file size!!\n"));
    return SaveRetry;
  }
  if (!FlushFileBuffers(file)) {
    printError(WSTR("blFileSave(): Flush file"));
    CloseHandle(file);
    DiscardTemporary(temporary);
    DebugLine(WSTR("blFileSave(): Flush file fail!\n"));
    return SaveRetry;
  }
  CloseHandle(file);
  if (!MoveFileExW(temporary, szLogFileName, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    printError(WSTR("blFileSave(): Replace file"));
    DiscardTemporary(temporary);
    DebugLine(WSTR("blFileSave(): Replace file fail!\n"));
    return SaveRetry;
  }
  return SaveWritten;
}

}  // namespace

void SetExeDirectory(void) {
  WCHAR path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  // Windows also accepts '/', and it is the only separator elsewhere.
  std::size_t cut = 0;
  for (std::size_t i = 0; i < length; ++i)
    if (path[i] == u'\\' || path[i] == u'/') cut = i + 1;
  if (cut == 0) return;
  path[cut] = 0;
  SetCurrentDirectoryW(path);
}

void GetLogFileName(void) {
  SetExeDirectory();
  for (int i = 0;; ++i) {
    FormatTextW(szLogFileName, MAX_PATH, WSTR("Tolvane%d.log"), i);
    HANDLE file = CreateFileW(szLogFileName, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    CloseHandle(file);
  }
}

int blFileSave(void) {
  SetExeDirectory();
  LogText text{nullptr, 0, 0, false};
  if (!BuildText(text)) {
    Release(text);
    MessageBoxW(nullptr, WSTR("FileSave(): Can't allocate memory to list process!"), nullptr,
                MB_OK);
    AwaitKey();
    return SaveCannotGoOn;
  }
  const int result = WriteReplacing(text);
  Release(text);
  return result;
}

void printError(const WCHAR* operation) {
  const DWORD code = GetLastError();
  WCHAR text[256];
  if (FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                     MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, 256, nullptr) == 0)
    text[0] = 0;  // no text known for the code: the note names the code alone
  text[255] = 0;
  std::size_t length = 0;
  while (text[length] != 0 && (text[length] >= 0x20 || text[length] == u'\t')) ++length;
  while (length > 0 && (text[length - 1] == u'.' || text[length - 1] <= 0x20)) --length;
  text[length] = 0;

  if (blDebug)
    ConsolePrintW(WSTR("\n printError() WARNING: %s failed with error %d (%s) \n"), operation,
                  static_cast<int>(code), text);
  blErrMsg = TRUE;
  FormatTextW(szErrMsg, MAX_PATH, WSTR("\n  WARNING: %s failed with error %d (%s)"), operation,
              static_cast<int>(code), text);
}
