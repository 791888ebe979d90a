// Process and module snapshots of real processes: the test's own children,
// zombies, and programs whose names hold terminal sequences.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <thread>

#include "platform/process_services.h"
#include "test_support.h"

namespace {

std::optional<PROCESSENTRY32W> FindInSnapshot(DWORD pid) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  EXPECT_NE(snapshot, INVALID_HANDLE_VALUE);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  std::optional<PROCESSENTRY32W> found;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    if (entry.th32ProcessID == pid) found = entry;
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_TRUE(CloseHandle(snapshot));
  return found;
}

std::optional<std::u16string> ModulePath(DWORD pid, DWORD* error) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
  if (snapshot == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return std::nullopt;
  }
  MODULEENTRY32W module{};
  module.dwSize = sizeof module;
  std::optional<std::u16string> path;
  if (Module32FirstW(snapshot, &module)) path = module.szExePath;
  EXPECT_TRUE(CloseHandle(snapshot));
  return path;
}

std::string RealPath(const char* path) {
  char resolved[PATH_MAX];
  return realpath(path, resolved) != nullptr ? resolved : "";
}

// A child that has ended but is not reaped, under the given command name.
pid_t StartZombie(const char* commandName) {
  pid_t child = fork();
  if (child == 0) {
    prctl(PR_SET_NAME, commandName);
    _exit(0);
  }
  siginfo_t info;
  waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT);
  return child;
}

TEST(ProcessSnapshot, ListsAChildWithItsParentAndName) {
  pid_t child = StartProgram("/bin/sleep", {"30"});
  // Until the exec is done the child still runs this test's program.
  std::optional<PROCESSENTRY32W> entry;
  for (int tries = 0; tries < 2000; ++tries) {
    entry = FindInSnapshot(static_cast<DWORD>(child));
    if (entry && std::u16string(entry->szExeFile) == u"sleep") break;
    usleep(5000);
  }
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(entry->th32ParentProcessID, static_cast<DWORD>(getpid()));
  EXPECT_EQ(std::u16string(entry->szExeFile), u"sleep");
  EXPECT_EQ(entry->cntThreads, 1u);
  EndChild(child);
  EXPECT_FALSE(FindInSnapshot(static_cast<DWORD>(child)).has_value());
}

TEST(ProcessSnapshot, ListsProcessesButNotTheirThreads) {
  std::atomic<pid_t> threadId{0};
  std::atomic<bool> done{false};
  std::thread helper([&] {
    threadId = static_cast<pid_t>(syscall(SYS_gettid));
    while (!done) usleep(1000);
  });
  while (threadId == 0) usleep(1000);
  std::optional<PROCESSENTRY32W> self = FindInSnapshot(GetCurrentProcessId());
  std::optional<PROCESSENTRY32W> thread = FindInSnapshot(static_cast<DWORD>(threadId.load()));
  done = true;
  helper.join();
  ASSERT_TRUE(self.has_value());
  EXPECT_EQ(self->th32ParentProcessID, static_cast<DWORD>(getppid()));
  EXPECT_FALSE(thread.has_value());
}

TEST(ProcessSnapshot, EntriesFollowTheToolhelpConventions) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  ASSERT_NE(snapshot, INVALID_HANDLE_VALUE);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry - 4;
  EXPECT_FALSE(Process32FirstW(snapshot, &entry));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  entry.dwSize = sizeof entry;
  ASSERT_TRUE(Process32FirstW(snapshot, &entry));
  DWORD first = entry.th32ProcessID;
  while (Process32NextW(snapshot, &entry)) {
  }
  PROCESSENTRY32W last = entry;
  EXPECT_FALSE(Process32NextW(snapshot, &entry));
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_EQ(std::memcmp(&last, &entry, sizeof entry), 0) << "the entry is left unchanged";
  ASSERT_TRUE(Process32FirstW(snapshot, &entry));
  EXPECT_EQ(entry.th32ProcessID, first) << "a first read starts over";
  EXPECT_TRUE(CloseHandle(snapshot));
  EXPECT_FALSE(Process32FirstW(snapshot, &entry));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(ProcessSnapshot, ReplacesControlCharactersInNames) {
  // An executable whose own file name holds a colour sequence and a newline.
  TemporaryFolder folder;
  std::string program = folder.path + "/sl\x1b[31mep\n";
  std::filesystem::copy_file(RealPath("/bin/sleep"), program);
  std::filesystem::permissions(program, std::filesystem::perms::owner_all);
  pid_t sleeper = StartProgram(program, {"30"});
  // A zombie has no executable: its command name shows, and it may hold
  // parentheses that the stat line's parsing must get past.
  pid_t zombie = StartZombie("z\x1b[2J) (x\x7f");

  std::optional<PROCESSENTRY32W> entry;
  for (int tries = 0; tries < 2000; ++tries) {
    entry = FindInSnapshot(static_cast<DWORD>(sleeper));
    if (entry && std::u16string(entry->szExeFile) != u"linux_backend_tests") break;
    usleep(5000);
  }
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(std::u16string(entry->szExeFile), u"sl?[31mep?");
  DWORD error = 0;
  EXPECT_EQ(ModulePath(static_cast<DWORD>(sleeper), &error), Wide(folder.path) + u"/sl?[31mep?");

  std::optional<PROCESSENTRY32W> dead = FindInSnapshot(static_cast<DWORD>(zombie));
  ASSERT_TRUE(dead.has_value());
  EXPECT_EQ(std::u16string(dead->szExeFile), u"z?[2J) (x?");
  EXPECT_EQ(dead->th32ParentProcessID, static_cast<DWORD>(getpid()));
  EndChild(sleeper);
  ReapChild(zombie);
}

TEST(ModuleSnapshot, GivesTheExecutablePath) {
  DWORD error = 0;
  EXPECT_EQ(ModulePath(0, &error), Wide(RealPath("/proc/self/exe"))) << "0 is the caller";
  EXPECT_EQ(ModulePath(GetCurrentProcessId(), &error), Wide(RealPath("/proc/self/exe")));
  pid_t child = StartProgram("/bin/sleep", {"30"});
  std::optional<std::u16string> path;
  for (int tries = 0; tries < 2000; ++tries) {
    path = ModulePath(static_cast<DWORD>(child), &error);
    if (path && *path == Wide(RealPath("/bin/sleep"))) break;
    usleep(5000);
  }
  EXPECT_EQ(path, Wide(RealPath("/bin/sleep")));
  EndChild(child);
}

TEST(ModuleSnapshot, FailsForProcessesWithoutAnImage) {
  pid_t zombie = StartZombie("zombie");
  DWORD error = 0;
  EXPECT_FALSE(ModulePath(static_cast<DWORD>(zombie), &error).has_value());
  EXPECT_EQ(error, ERROR_PARTIAL_COPY);
  ReapChild(zombie);
  EXPECT_FALSE(ModulePath(static_cast<DWORD>(zombie), &error).has_value());
  EXPECT_EQ(error, ERROR_INVALID_PARAMETER) << "a process that is gone";
}

}  // namespace
