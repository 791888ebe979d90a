#include "platform/linux/clock.h"

#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "platform/console_services.h"

namespace {

constexpr std::uint64_t unixEpochAsFileTime = 116444736000000000ull;
constexpr std::uint64_t nanosecondsPerSecond = 1000000000ull;

std::uint64_t Nanoseconds(clockid_t clock) {
  timespec now;
  clock_gettime(clock, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * nanosecondsPerSecond +
         static_cast<std::uint64_t>(now.tv_nsec);
}

std::uint64_t FileTimeFromUnixNanoseconds(std::uint64_t nanoseconds) {
  return unixEpochAsFileTime + nanoseconds / 100;
}

std::uint64_t TicksPerSecond(void) {
  static const std::uint64_t ticks = [] {
    long value = sysconf(_SC_CLK_TCK);
    return static_cast<std::uint64_t>(value > 0 ? value : 100);
  }();
  return ticks;
}

// Days from 1601-01-01 to the given civil date (proleptic Gregorian).
std::int64_t DaysSince1601(int year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  const std::int64_t daysSince1970 = era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
  return daysSince1970 + 134774;  // 1601-01-01 is 134774 days before 1970-01-01
}

bool IsLeapYear(unsigned year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

unsigned DaysInMonth(unsigned year, unsigned month) {
  static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

}  // namespace

std::uint64_t CurrentFileTime(void) {
  return FileTimeFromUnixNanoseconds(Nanoseconds(CLOCK_REALTIME));
}

std::uint64_t BootFileTime(void) {
  static const std::uint64_t boot = [] {
    // The boot clock read between two wall clock readings: their midpoint
    // pairs with it to well under a microsecond.
    std::uint64_t before = Nanoseconds(CLOCK_REALTIME);
    std::uint64_t sinceBoot = Nanoseconds(CLOCK_BOOTTIME);
    std::uint64_t after = Nanoseconds(CLOCK_REALTIME);
    return FileTimeFromUnixNanoseconds(before + (after - before) / 2 - sinceBoot);
  }();
  return boot;
}

std::uint64_t TicksToFileTimeUnits(std::uint64_t ticks) {
  return ticks * (10000000ull / TicksPerSecond());
}

std::uint64_t TicksToNanoseconds(std::uint64_t ticks) {
  return ticks * (nanosecondsPerSecond / TicksPerSecond());
}

std::uint64_t MonotonicNanoseconds(void) { return Nanoseconds(CLOCK_MONOTONIC); }

std::uint64_t MonotonicToFileTime(std::uint64_t monotonicNanoseconds) {
  std::uint64_t now = MonotonicNanoseconds();
  std::uint64_t wall = Nanoseconds(CLOCK_REALTIME);
  std::uint64_t age = now > monotonicNanoseconds ? now - monotonicNanoseconds : 0;
  return FileTimeFromUnixNanoseconds(wall - age);
}

std::uint64_t SuspendedNanoseconds(void) {
  std::uint64_t monotonic = Nanoseconds(CLOCK_MONOTONIC);
  std::uint64_t boot = Nanoseconds(CLOCK_BOOTTIME);
  return boot > monotonic ? boot - monotonic : 0;
}

FILETIME SplitFileTime(std::uint64_t value) {
  return FILETIME{static_cast<DWORD>(value & 0xFFFFFFFFu), static_cast<DWORD>(value >> 32)};
}

void GetSystemTime(SYSTEMTIME* time) {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  tm civil;
  gmtime_r(&now.tv_sec, &civil);
  time->wYear = static_cast<WORD>(civil.tm_year + 1900);
  time->wMonth = static_cast<WORD>(civil.tm_mon + 1);
  time->wDayOfWeek = static_cast<WORD>(civil.tm_wday);
  time->wDay = static_cast<WORD>(civil.tm_mday);
  time->wHour = static_cast<WORD>(civil.tm_hour);
  time->wMinute = static_cast<WORD>(civil.tm_min);
  time->wSecond = static_cast<WORD>(civil.tm_sec);
  time->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* time, FILETIME* fileTime) {
  if (time->wYear < 1601 || time->wYear > 30827 || time->wMonth < 1 || time->wMonth > 12 ||
      time->wDay < 1 || time->wDay > DaysInMonth(time->wYear, time->wMonth) || time->wHour > 23 ||
      time->wMinute > 59 || time->wSecond > 59 || time->wMilliseconds > 999) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::uint64_t days =
      static_cast<std::uint64_t>(DaysSince1601(time->wYear, time->wMonth, time->wDay));
  std::uint64_t seconds = ((days * 24 + time->wHour) * 60 + time->wMinute) * 60 + time->wSecond;
  *fileTime = SplitFileTime(seconds * 10000000ull + time->wMilliseconds * 10000ull);
  return TRUE;
}

void Sleep(DWORD milliseconds) {
  timespec remaining{static_cast<time_t>(milliseconds / 1000),
                     static_cast<long>(milliseconds % 1000) * 1000000L};
  // Other signals (a resize, a resumed job) only shorten a sleep when they
  // also ask the program to stop.
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR && !StopRequested()) {
  }
}
