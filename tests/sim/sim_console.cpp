// The console: output is captured, split into screens at each cursor home,
// and the clear calls are recorded rather than drawn.
#include <cstdio>
#include <vector>

#include "platform/wide_text.h"
#include "tests/sim/sim_world.h"

namespace {

const HANDLE InputHandle = reinterpret_cast<HANDLE>(std::uintptr_t{0x08});
const HANDLE OutputHandle = reinterpret_cast<HANDLE>(std::uintptr_t{0x0C});
const HANDLE ErrorHandle = reinterpret_cast<HANDLE>(std::uintptr_t{0x10});

const char* const ClearSteps[] = {"attr 7 2000 0,0", "char 32 2000 0,0", "home 0,0"};

bool IsConsoleOutput(HANDLE console) { return console == OutputHandle || console == ErrorHandle; }

void AppendLocked(sim::World& world, const std::string& text) {
  world.output += text;
  world.screens.back() += text;
}

void RecordOpLocked(sim::World& world, const std::string& op) {
  world.consoleOps.push_back(op);
  std::size_t count = world.consoleOps.size();
  if (count >= 3 && world.consoleOps[count - 3] == ClearSteps[0] &&
      world.consoleOps[count - 2] == ClearSteps[1] && world.consoleOps[count - 1] == ClearSteps[2])
    ++world.clearCount;
}

std::string CellOp(const char* name, unsigned value, DWORD length, COORD first) {
  char line[80];
  std::snprintf(line, sizeof line, "%s %u %u %d,%d", name, value, static_cast<unsigned>(length),
                first.X, first.Y);
  return line;
}

BOOL FillCells(HANDLE console, const std::string& op, const char* call, DWORD length,
               DWORD* written) {
  using namespace sim;
  std::lock_guard<std::mutex> lock(WorldMutex());
  World& world = TheWorld();
  if (!IsConsoleOutput(console)) {
    RecordMisuseLocked(world, call, console, "not the console output handle");
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  RecordOpLocked(world, op);
  if (written != nullptr) *written = length;
  return TRUE;
}

}  // namespace

namespace sim {

std::string Output() {
  std::lock_guard<std::mutex> lock(WorldMutex());
  return TheWorld().output;
}

std::vector<std::string> Screens() {
  std::lock_guard<std::mutex> lock(WorldMutex());
  return TheWorld().screens;
}

std::string LastScreen() {
  std::lock_guard<std::mutex> lock(WorldMutex());
  return TheWorld().screens.back();
}

std::vector<std::string> ConsoleOps() {
  std::lock_guard<std::mutex> lock(WorldMutex());
  return TheWorld().consoleOps;
}

int ClearCount() {
  std::lock_guard<std::mutex> lock(WorldMutex());
  return TheWorld().clearCount;
}

void ClearOutput() {
  std::lock_guard<std::mutex> lock(WorldMutex());
  World& world = TheWorld();
  world.output.clear();
  world.screens.assign(1, std::string());
  world.consoleOps.clear();
  world.clearCount = 0;
}

std::vector<std::string> MessageBoxes() {
  std::lock_guard<std::mutex> lock(WorldMutex());
  return TheWorld().messageBoxes;
}

}  // namespace sim

HANDLE GetStdHandle(DWORD which) {
  if (which == STD_INPUT_HANDLE) return InputHandle;
  if (which == STD_OUTPUT_HANDLE) return OutputHandle;
  if (which == STD_ERROR_HANDLE) return ErrorHandle;
  SetLastError(ERROR_INVALID_HANDLE);
  return INVALID_HANDLE_VALUE;
}

BOOL FillConsoleOutputAttribute(HANDLE console, WORD attribute, DWORD length, COORD first,
                                DWORD* written) {
  return FillCells(console, CellOp("attr", attribute, length, first), "FillConsoleOutputAttribute",
                   length, written);
}

BOOL FillConsoleOutputCharacterW(HANDLE console, WCHAR character, DWORD length, COORD first,
                                 DWORD* written) {
  return FillCells(console, CellOp("char", character, length, first), "FillConsoleOutputCharacterW",
                   length, written);
}

BOOL SetConsoleCursorPosition(HANDLE console, COORD position) {
  using namespace sim;
  std::lock_guard<std::mutex> lock(WorldMutex());
  World& world = TheWorld();
  if (!IsConsoleOutput(console)) {
    RecordMisuseLocked(world, "SetConsoleCursorPosition", console, "not the console output handle");
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  char op[40];
  std::snprintf(op, sizeof op, "home %d,%d", position.X, position.Y);
  RecordOpLocked(world, op);
  if (position.X == 0 && position.Y == 0) world.screens.emplace_back();
  return TRUE;
}

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  static_cast<void>(owner);
  static_cast<void>(caption);
  static_cast<void>(type);
  std::string utf8 = sim::ToUtf8(text);
  std::lock_guard<std::mutex> lock(sim::WorldMutex());
  sim::TheWorld().messageBoxes.push_back(utf8);
  return 1;  // IDOK
}

void ConsolePrintA(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  va_list measuring;
  va_copy(measuring, arguments);
  int length = std::vsnprintf(nullptr, 0, format, measuring);
  va_end(measuring);
  std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, arguments);
  va_end(arguments);
  std::lock_guard<std::mutex> lock(sim::WorldMutex());
  AppendLocked(sim::TheWorld(), text);
}

void ConsolePrintW(const WCHAR* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::vector<WCHAR> buffer(512);
  // The formatter cuts to fit without saying how much it needed: grow until
  // the text leaves room to spare.
  for (;;) {
    va_list attempt;
    va_copy(attempt, arguments);
    std::size_t written = FormatTextListW(buffer.data(), buffer.size(), format, attempt);
    va_end(attempt);
    if (written + 1 < buffer.size()) break;
    buffer.resize(buffer.size() * 2);
  }
  va_end(arguments);
  std::string text = sim::ToUtf8(buffer.data());
  std::lock_guard<std::mutex> lock(sim::WorldMutex());
  AppendLocked(sim::TheWorld(), text);
}
