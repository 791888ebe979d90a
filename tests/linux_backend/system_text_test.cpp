// Error texts, text conversion, the clock, the program's path and the heap.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/console_services.h"
#include "test_support.h"

namespace {

TEST(SystemMessages, AreTheWindowsTexts) {
  const struct {
    DWORD code;
    const char16_t* text;
  } messages[] = {
      {5, u"Access is denied.\r\n"},
      {2, u"The system cannot find the file specified.\r\n"},
      {3, u"The system cannot find the path specified.\r\n"},
      {32, u"The process cannot access the file because it is being used by another process.\r\n"},
      {112, u"There is not enough space on the disk.\r\n"},
      {8, u"Not enough memory resources are available to process this command.\r\n"},
      {19, u"The media is write protected.\r\n"},
      {6, u"The handle is invalid.\r\n"},
      {87, u"The parameter is incorrect.\r\n"},
      {80, u"The file exists.\r\n"},
      {183, u"Cannot create a file when that file already exists.\r\n"},
      {31, u"A device attached to the system is not functioning.\r\n"},
  };
  const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  const DWORD language = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);
  for (const auto& message : messages) {
    WCHAR buffer[256];
    DWORD length = FormatMessageW(flags, nullptr, message.code, language, buffer, 256, nullptr);
    EXPECT_EQ(std::u16string(buffer), message.text) << message.code;
    EXPECT_EQ(length, std::char_traits<char16_t>::length(message.text));
  }
  WCHAR buffer[8];
  EXPECT_EQ(FormatMessageW(flags, nullptr, 5, language, buffer, 8, nullptr), 0u) << "too small";
  EXPECT_EQ(FormatMessageW(flags, nullptr, 12345, language, buffer, 8, nullptr), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(WideToNarrow, FollowsTheWindowsCounts) {
  const WCHAR text[] = u"A\u00e9\u20ac\U0001F600";  // 1 + 2 + 3 + 4 bytes in UTF-8
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr), 11);
  char narrow[260];
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, 260, nullptr, nullptr), 11);
  EXPECT_STREQ(narrow, "A\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80");
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, 10, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(Clock, SystemTimeToFileTimeCountsFrom1601) {
  const struct {
    SYSTEMTIME time;
    std::uint64_t value;
  } instants[] = {
      {{1601, 1, 1, 1, 0, 0, 0, 0}, 0},
      {{1970, 1, 4, 1, 0, 0, 0, 0}, 116444736000000000ull},
      {{2000, 2, 2, 29, 12, 34, 56, 789}, 125963012967890000ull},
      {{2024, 12, 2, 31, 23, 59, 59, 999}, 133801631999990000ull},
  };
  for (const auto& instant : instants) {
    FILETIME time;
    ASSERT_TRUE(SystemTimeToFileTime(&instant.time, &time)) << instant.value;
    EXPECT_EQ((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime,
              instant.value);
  }
  const SYSTEMTIME invalid[] = {
      {2001, 2, 0, 29, 0, 0, 0, 0},   {2024, 13, 0, 1, 0, 0, 0, 0},  {2024, 1, 0, 1, 24, 0, 0, 0},
      {2024, 1, 0, 1, 0, 0, 0, 1000}, {1600, 12, 0, 31, 0, 0, 0, 0},
  };
  for (const SYSTEMTIME& time : invalid) {
    FILETIME untouched{1, 2};
    EXPECT_FALSE(SystemTimeToFileTime(&time, &untouched)) << time.wYear << "-" << time.wMonth;
    EXPECT_EQ(untouched.dwLowDateTime, 1u);
  }
}

TEST(Clock, GetSystemTimeIsTheWallClockInUtc) {
  SYSTEMTIME now;
  GetSystemTime(&now);
  std::time_t seconds = std::time(nullptr);
  std::tm civil;
  gmtime_r(&seconds, &civil);
  EXPECT_EQ(now.wYear, civil.tm_year + 1900);
  EXPECT_EQ(now.wMonth, civil.tm_mon + 1);
  EXPECT_LT(now.wMilliseconds, 1000);
  FILETIME time;
  ASSERT_TRUE(SystemTimeToFileTime(&now, &time));
  std::uint64_t value =
      (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  std::uint64_t expected = 116444736000000000ull + static_cast<std::uint64_t>(seconds) * 10000000;
  EXPECT_LT(value > expected ? value - expected : expected - value, 20000000u);
}

TEST(ModuleFileName, IsTheProgramsPathAndCutsLikeWindows) {
  char resolved[PATH_MAX];
  ASSERT_NE(realpath("/proc/self/exe", resolved), nullptr);
  std::u16string expected = Wide(resolved);
  WCHAR path[MAX_PATH];
  EXPECT_EQ(GetModuleFileNameW(nullptr, path, MAX_PATH), expected.size());
  EXPECT_EQ(std::u16string(path), expected);
  EXPECT_EQ(GetModuleFileNameW(nullptr, path, 5), 5u);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(std::u16string(path), expected.substr(0, 4));
}

TEST(Heap, AllocatesZeroedAndKeepsContentsOnResize) {
  HANDLE heap = GetProcessHeap();
  ASSERT_NE(heap, nullptr);
  unsigned char* block = static_cast<unsigned char*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 4096));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 4096; ++i) ASSERT_EQ(block[i], 0) << i;
  std::memcpy(block, "kept", 4);
  block = static_cast<unsigned char*>(HeapReAlloc(heap, 0, block, 1 << 20));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::memcmp(block, "kept", 4), 0);
  EXPECT_TRUE(HeapFree(heap, 0, block));
}

}  // namespace
