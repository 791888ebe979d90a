#include "tests/windows/child_roles.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/console_services.h"
#include "tests/windows/child_process.h"

namespace {

// A child whose test has gone away still ends, after this long.
constexpr DWORD OrphanLimit = 5 * 60 * 1000;

HANDLE OpenNamedEvent(const char* name) {
  return OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, Widen(name).c_str());
}

int RunTreeMember(int argc, char** argv) {
  if (argc < 5 || argc % 2 == 0) return 200;
  for (int i = 5; i + 1 < argc; i += 2) {
    Child child;
    const std::wstring arguments =
        L"--tree " + Widen(argv[2]) + L" " + Widen(argv[i]) + L" " + Widen(argv[i + 1]);
    if (!StartChild(OwnPath(), arguments, ChildInput{}, DETACHED_PROCESS, &child)) return 201;
    CloseHandle(child.process);
  }
  HANDLE ready = OpenSemaphoreW(SEMAPHORE_MODIFY_STATE, FALSE, Widen(argv[2]).c_str());
  HANDLE release = OpenNamedEvent(argv[4]);
  if (ready == nullptr || release == nullptr) return 202;
  // Running code of its own, the process is past its loading: its module
  // list can be read.
  ReleaseSemaphore(ready, 1, nullptr);
  CloseHandle(ready);
  WaitForSingleObject(release, OrphanLimit);
  CloseHandle(release);
  return std::atoi(argv[3]);
}

int HoldConsole(int argc, char** argv) {
  if (argc != 4) return 200;
  HANDLE ready = OpenNamedEvent(argv[2]);
  HANDLE release = OpenNamedEvent(argv[3]);
  if (ready == nullptr || release == nullptr) return 202;
  PlatformStartup();
  SetEvent(ready);
  WaitForSingleObject(release, OrphanLimit);
  CloseHandle(ready);
  CloseHandle(release);
  EndProgram(7);
}

int AwaitStop(int argc, char** argv) {
  if (argc != 3) return 200;
  HANDLE ready = OpenNamedEvent(argv[2]);
  if (ready == nullptr) return 202;
  PlatformStartup();
  SetEvent(ready);
  CloseHandle(ready);
  const bool stopped = WaitUntil([] { return StopRequested() != FALSE; }, OrphanLimit);
  EndProgram(stopped ? 0 : 1);
}

}  // namespace

bool IsChildRole(const char* word) {
  return std::strcmp(word, "--tree") == 0 || std::strcmp(word, "--hold-console") == 0 ||
         std::strcmp(word, "--await-stop") == 0;
}

int RunChildRole(int argc, char** argv) {
  if (std::strcmp(argv[1], "--tree") == 0) return RunTreeMember(argc, argv);
  if (std::strcmp(argv[1], "--hold-console") == 0) return HoldConsole(argc, argv);
  return AwaitStop(argc, argv);
}
