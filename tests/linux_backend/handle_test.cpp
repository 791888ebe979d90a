// Handles: small numbers like Windows ones, released exactly once, and no
// descriptor left open behind any kind of them.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>

#include "platform/console_services.h"
#include "platform/linux/compat.h"
#include "platform/linux/handle_table.h"
#include "platform/process_services.h"
#include "test_children.h"
#include "test_support.h"

namespace {

DWORD WINAPI ReturnAtOnce(LPVOID) { return 0; }

// One handle of every kind, used as the program uses it, then closed.
void UseEveryKind(const std::string& folder) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  EXPECT_TRUE(Process32FirstW(snapshot, &entry));
  EXPECT_TRUE(CloseHandle(snapshot));

  HANDLE modules = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0);
  MODULEENTRY32W module{};
  module.dwSize = sizeof module;
  EXPECT_TRUE(Module32FirstW(modules, &module));
  EXPECT_TRUE(CloseHandle(modules));

  ControlledGrandchild run = StartControlledGrandchild({1, 0});
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE,
                               static_cast<DWORD>(run.grandchild.pid));
  EXPECT_NE(process, nullptr);
  Release(&run.grandchild);
  EXPECT_EQ(WaitForSingleObject(process, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(CloseHandle(process));
  ReapChild(run.middle);

  HANDLE thread = CreateThread(nullptr, 0, ReturnAtOnce, nullptr, 0, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(CloseHandle(thread));

  std::u16string name = Wide(folder + "/file.log");
  HANDLE file = CreateFileW(reinterpret_cast<LPCWSTR>(name.c_str()), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(file));
}

TEST(Handles, EveryKindIsReleasedWithItsDescriptors) {
  TemporaryFolder folder;
  ServingExitCodeSource();  // its probe and any connector socket belong to no handle
  UseEveryKind(folder.path);
  int descriptors = CountOpenDescriptors();
  std::size_t handles = OpenHandleCount();
  for (int round = 0; round < 3; ++round) UseEveryKind(folder.path);
  EXPECT_EQ(CountOpenDescriptors(), descriptors);
  EXPECT_EQ(OpenHandleCount(), handles);
}

TEST(Handles, AreSmallNumbersNotReusedSoonAndInvalidAfterClose) {
  std::set<std::uintptr_t> seen;
  for (int i = 0; i < 100; ++i) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0);
    std::uintptr_t value = reinterpret_cast<std::uintptr_t>(snapshot);
    EXPECT_EQ(value % 4, 0u);
    EXPECT_GE(value, 0x40u);
    EXPECT_LT(value, 0x10000000u) << "reads well in an %08X column";
    EXPECT_TRUE(seen.insert(value).second) << "a released value came back at once";
    EXPECT_TRUE(CloseHandle(snapshot));
    EXPECT_FALSE(CloseHandle(snapshot)) << "released exactly once";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  }
}

TEST(Handles, OfTheWrongKindOrUnknownAreRefused) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  DWORD code;
  EXPECT_FALSE(GetExitCodeProcess(snapshot, &code));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(WaitForSingleObject(snapshot, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_TRUE(CloseHandle(snapshot));
  for (HANDLE bad : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE,
                     reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x7FFFFFF0))}) {
    EXPECT_FALSE(CloseHandle(bad));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(WaitForSingleObject(bad, 0), WAIT_FAILED);
  }
}

}  // namespace
