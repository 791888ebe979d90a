// The parent for the end-to-end run under Wine, where "start" runs through a
// program of its own and the processes it starts are not the batch's:
//
//   tolvane_launcher.exe [Tolvane's options...]
//       starts a copy of itself in the parent role below, waits for it and
//       ends with its code. Wine starts the console host of a terminal as a
//       child of the first program in it: the copy has no such child;
//   tolvane_launcher.exe --parent [Tolvane's options...]
//       starts two workers and then Tolvane.exe (beside this program) as its
//       own children in its console, so that Tolvane finds this program as
//       its parent and the workers as its only siblings; waits for Tolvane to
//       end and writes its exit code and a line break to rc.txt in the
//       current folder;
//   tolvane_launcher.exe --worker <milliseconds> <exit code>
//       ends with the code once that long has passed since its creation.

#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/base_types.h"

namespace {

struct Worker {
  const wchar_t* milliseconds;
  const wchar_t* exitCode;
};

// Lifetimes halfway between whole seconds, so that the whole seconds Tolvane
// logs for them are the same whatever the time between a process's creation
// and its first instruction, and whatever small delay its end takes.
const Worker Workers[] = {{L"2500", L"2"}, {L"4500", L"7"}};

// Nothing this program waits for takes this long unless something is wrong.
constexpr DWORD Patience = 10 * 60 * 1000;

ULONGLONG FileTimeValue(const FILETIME& time) {
  return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

int RunWorker(const wchar_t* milliseconds, const wchar_t* exitCode) {
  FILETIME created{};
  FILETIME ended{};
  FILETIME kernel{};
  FILETIME user{};
  if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user)) return 200;
  // Measured from the creation the monitor reads, not from this late start.
  const ULONGLONG end = FileTimeValue(created) + std::wcstoull(milliseconds, nullptr, 10) * 10000;
  for (;;) {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    if (FileTimeValue(now) >= end) break;
    Sleep(static_cast<DWORD>((end - FileTimeValue(now)) / 10000 + 1));
  }
  return std::wcstol(exitCode, nullptr, 10);
}

std::wstring OwnPath() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(path, length);
}

std::wstring Beside(const std::wstring& name) {
  const std::wstring path = OwnPath();
  return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

// One argument as the C runtime's parser reads it back: quoted when it
// holds a blank, backslashes doubled only where a quote follows them.
std::wstring Quoted(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t unit : argument) {
    if (unit == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(unit == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += unit;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

// Whatever this program starts ends with it, even when it is killed: a
// failed run leaves no Tolvane behind in a shared Wine prefix. This program
// stays out of the job: Wine's server fails when a member of such a job
// ends it.
HANDLE JobThatEndsWithUs() {
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (job == nullptr) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
    CloseHandle(job);
    return nullptr;
  }
  return job;
}

// Starts program in this console, with no handles inherited, and in job
// when there is one (what it starts is then in the job too).
HANDLE Start(const std::wstring& program, const std::wstring& arguments, HANDLE job) {
  std::wstring commandLine = Quoted(program) + arguments;
  std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
  writable.push_back(0);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(program.c_str(), writable.data(), nullptr, nullptr, FALSE,
                      job != nullptr ? CREATE_SUSPENDED : 0, nullptr, nullptr, &startup, &started))
    return nullptr;
  if (job != nullptr) {
    AssignProcessToJobObject(job, started.hProcess);
    ResumeThread(started.hThread);
  }
  CloseHandle(started.hThread);
  return started.hProcess;
}

// Written whole under a second name and then renamed, so that a reader never
// sees part of it.
bool WriteExitCode(DWORD code) {
  const std::string text = std::to_string(code) + "\n";
  HANDLE file = CreateFileW(L"rc.txt.part", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool wrote =
      WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
      written == text.size();
  CloseHandle(file);
  return wrote && MoveFileExW(L"rc.txt.part", L"rc.txt", MOVEFILE_REPLACE_EXISTING);
}

std::wstring Arguments(int first, int argc, wchar_t** argv) {
  std::wstring arguments;
  for (int i = first; i < argc; ++i) arguments += L" " + Quoted(argv[i]);
  return arguments;
}

int Launch(int argc, wchar_t** argv) {
  HANDLE job = JobThatEndsWithUs();
  HANDLE parent = Start(OwnPath(), L" --parent" + Arguments(1, argc, argv), job);
  DWORD code = 204;
  if (parent != nullptr) {
    WaitForSingleObject(parent, INFINITE);
    GetExitCodeProcess(parent, &code);
    CloseHandle(parent);
  }
  if (job != nullptr) CloseHandle(job);
  return static_cast<int>(code);
}

int BeTolvanesParent(int argc, wchar_t** argv) {
  std::vector<HANDLE> workers;
  for (const Worker& worker : Workers) {
    HANDLE process =
        Start(OwnPath(), std::wstring(L" --worker ") + worker.milliseconds + L" " + worker.exitCode,
              nullptr);
    if (process == nullptr) return 201;
    workers.push_back(process);
  }
  HANDLE tolvane = Start(Beside(L"Tolvane.exe"), Arguments(2, argc, argv), nullptr);
  if (tolvane == nullptr) return 202;

  int result = 0;
  DWORD code = 0;
  if (WaitForSingleObject(tolvane, INFINITE) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(tolvane, &code) || !WriteExitCode(code))
    result = 203;
  CloseHandle(tolvane);
  for (HANDLE worker : workers) {
    WaitForSingleObject(worker, Patience);
    CloseHandle(worker);
  }
  return result;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 4 && std::wcscmp(argv[1], L"--worker") == 0) return RunWorker(argv[2], argv[3]);
  if (argc >= 2 && std::wcscmp(argv[1], L"--parent") == 0) return BeTolvanesParent(argc, argv);
  return Launch(argc, argv);
}
