#include "tests/sim/sim_world.h"

#include <cstdio>
#include <cstdlib>

#include "platform/wide_text.h"

namespace sim {

namespace {

thread_local SimThread* currentSimThread = nullptr;
thread_local DWORD lastError = ERROR_SUCCESS;

}  // namespace

// Never destroyed: threads a test left running may still reach the world
// while the binary's static objects are being torn down.
World& TheWorld() {
  static World* world = new World;
  return *world;
}

std::mutex& WorldMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}

std::condition_variable& ThreadsChanged() {
  static std::condition_variable* changed = new std::condition_variable;
  return *changed;
}

bool OnSimThread() { return currentSimThread != nullptr; }

SimThread* CurrentSimThread() { return currentSimThread; }

void SetCurrentSimThread(SimThread* thread) { currentSimThread = thread; }

void TestMistake(const std::string& what) {
  std::fprintf(stderr, "sim: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

std::string ToUtf8(const WCHAR* text) {
  if (text == nullptr) return std::string();
  std::size_t needed = Utf16ToUtf8(text, nullptr, 0);
  std::string result(needed, '\0');
  Utf16ToUtf8(text, result.data(), needed + 1);
  return result;
}

std::u16string ToUtf16(const std::string& text) {
  std::size_t needed = Utf8ToUtf16(text.c_str(), nullptr, 0);
  std::u16string result(needed, u'\0');
  Utf8ToUtf16(text.c_str(), result.data(), needed + 1);
  return result;
}

}  // namespace sim

DWORD GetLastError(void) { return sim::lastError; }

void SetLastError(DWORD code) { sim::lastError = code; }
