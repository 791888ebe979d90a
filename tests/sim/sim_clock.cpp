// The simulated UTC clock: only the test and Sleep move it.
#include "tests/sim/sim_world.h"

namespace {

constexpr std::uint64_t UnitsPerMillisecond = 10000;
constexpr std::uint64_t UnitsPerDay = 86400ull * 1000ull * UnitsPerMillisecond;
constexpr long long DaysFrom1601To1970 = 134774;

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
long long DaysFromCivil(long long year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const long long era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<long long>(dayOfEra) - 719468;
}

void CivilFromDays(long long days, long long* year, unsigned* month, unsigned* day) {
  days += 719468;
  const long long era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
  *day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
  *month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
  *year = static_cast<long long>(yearOfEra) + era * 400 + (*month <= 2 ? 1 : 0);
}

unsigned DaysInMonth(unsigned year, unsigned month) {
  static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

}  // namespace

namespace sim {

std::uint64_t FileTimeOf(int year, int month, int day, int hour, int minute, int second, int ms) {
  long long days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
                   DaysFrom1601To1970;
  long long milliseconds = ((static_cast<long long>(hour) * 60 + minute) * 60 + second) * 1000 + ms;
  return static_cast<std::uint64_t>(days) * UnitsPerDay +
         static_cast<std::uint64_t>(milliseconds) * UnitsPerMillisecond;
}

std::uint64_t StartClock() { return FileTimeOf(2026, 1, 2, 3, 4, 5, 0); }

void SetClock(std::uint64_t fileTime) {
  std::lock_guard<std::mutex> lock(WorldMutex());
  TheWorld().clock = fileTime;
}

std::uint64_t Clock() {
  std::lock_guard<std::mutex> lock(WorldMutex());
  return TheWorld().clock;
}

void OnSleep(std::function<void()> hook) {
  std::lock_guard<std::mutex> lock(WorldMutex());
  TheWorld().onSleep = std::move(hook);
}

int SleepCount() {
  std::lock_guard<std::mutex> lock(WorldMutex());
  return TheWorld().sleepCount;
}

void SetSleepLimit(int calls) {
  std::lock_guard<std::mutex> lock(WorldMutex());
  TheWorld().sleepLimit = calls;
}

}  // namespace sim

void GetSystemTime(SYSTEMTIME* time) {
  std::uint64_t now;
  {
    std::lock_guard<std::mutex> lock(sim::WorldMutex());
    now = sim::TheWorld().clock;
  }
  long long days1601 = static_cast<long long>(now / UnitsPerDay);
  std::uint64_t milliseconds = (now % UnitsPerDay) / UnitsPerMillisecond;
  long long year;
  unsigned month, day;
  CivilFromDays(days1601 - DaysFrom1601To1970, &year, &month, &day);
  time->wYear = static_cast<WORD>(year);
  time->wMonth = static_cast<WORD>(month);
  time->wDay = static_cast<WORD>(day);
  time->wDayOfWeek = static_cast<WORD>((days1601 + 1) % 7);  // 1601-01-01 was a Monday
  time->wHour = static_cast<WORD>(milliseconds / 3600000);
  time->wMinute = static_cast<WORD>(milliseconds / 60000 % 60);
  time->wSecond = static_cast<WORD>(milliseconds / 1000 % 60);
  time->wMilliseconds = static_cast<WORD>(milliseconds % 1000);
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* time, FILETIME* fileTime) {
  if (time == nullptr || fileTime == nullptr || time->wYear < 1601 || time->wYear > 30827 ||
      time->wMonth < 1 || time->wMonth > 12 || time->wDay < 1 ||
      time->wDay > DaysInMonth(time->wYear, time->wMonth) || time->wHour > 23 ||
      time->wMinute > 59 || time->wSecond > 59 || time->wMilliseconds > 999) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::uint64_t value = sim::FileTimeOf(time->wYear, time->wMonth, time->wDay, time->wHour,
                                        time->wMinute, time->wSecond, time->wMilliseconds);
  fileTime->dwLowDateTime = static_cast<DWORD>(value);
  fileTime->dwHighDateTime = static_cast<DWORD>(value >> 32);
  return TRUE;
}

void Sleep(DWORD milliseconds) {
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> lock(sim::WorldMutex());
    sim::World& world = sim::TheWorld();
    ++world.sleepCount;
    if (world.sleepCount > world.sleepLimit && !sim::OnSimThread())
      throw sim::ProgramExit{sim::RunawayExitCode};
    world.clock += milliseconds * UnitsPerMillisecond;
    hook = world.onSleep;
  }
  if (hook) hook();
}
