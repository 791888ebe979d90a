#include "tests/windows/child_process.h"

#include <vector>

namespace {

void CloseIfOpen(HANDLE* handle) {
  if (*handle != nullptr) CloseHandle(*handle);
  *handle = nullptr;
}

bool MakePipe(HANDLE* ours, HANDLE* theirs, bool theyRead) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  if (!CreatePipe(&read, &write, &inherit, 0)) return false;
  *ours = theyRead ? write : read;
  *theirs = theyRead ? read : write;
  SetHandleInformation(*ours, HANDLE_FLAG_INHERIT, 0);
  return true;
}

}  // namespace

std::wstring OwnPath() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(path, length);
}

std::wstring OwnName() {
  const std::wstring path = OwnPath();
  return path.substr(path.find_last_of(L"\\/") + 1);
}

std::wstring TolvanePath() {
  const std::wstring path = OwnPath();
  return path.substr(0, path.find_last_of(L"\\/") + 1) + L"Tolvane.exe";
}

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

bool StartChild(const std::wstring& program, const std::wstring& arguments, ChildInput input,
                DWORD flags, Child* child) {
  *child = Child{};
  HANDLE childInput = input.handle;
  HANDLE childOutput = nullptr;
  const bool redirect = input.pipe || input.handle != nullptr;
  if (input.pipe && !MakePipe(&child->input, &childInput, true)) return false;
  if (redirect && !MakePipe(&child->output, &childOutput, false)) {
    FinishChild(child);
    if (input.pipe) CloseHandle(childInput);
    return false;
  }

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (redirect) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput;
    startup.hStdOutput = childOutput;
    startup.hStdError = childOutput;
  }
  std::wstring commandLine = L"\"" + program + L"\" " + arguments;
  std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
  writable.push_back(0);
  PROCESS_INFORMATION started{};
  const BOOL ok =
      CreateProcessW(program.c_str(), writable.data(), nullptr, nullptr, redirect ? TRUE : FALSE,
                     flags, nullptr, nullptr, &startup, &started);
  // The child holds its own copies now.
  if (input.pipe) CloseHandle(childInput);
  if (childOutput != nullptr) CloseHandle(childOutput);
  if (!ok) {
    FinishChild(child);
    return false;
  }
  CloseHandle(started.hThread);
  child->process = started.hProcess;
  child->pid = started.dwProcessId;
  return true;
}

void FinishChild(Child* child) {
  if (child->process != nullptr && WaitForSingleObject(child->process, 0) == WAIT_TIMEOUT) {
    TerminateProcess(child->process, 1);
    WaitForSingleObject(child->process, Patience);
  }
  CloseIfOpen(&child->process);
  CloseIfOpen(&child->input);
  CloseIfOpen(&child->output);
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(20);
  }
}
