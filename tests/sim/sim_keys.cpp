// Keys, the stop request, start-up and the program's way out.
#include <cstdio>
#include <cstdlib>

#include "tests/sim/sim_world.h"

namespace sim {

void PushKeys(std::initializer_list<int> codes) {
  std::lock_guard<std::mutex> lock(WorldMutex());
  for (int code : codes) TheWorld().keys.push_back(code);
}

void PushKey(int code) { PushKeys({code}); }

std::size_t PendingKeys() {
  std::lock_guard<std::mutex> lock(WorldMutex());
  return TheWorld().keys.size();
}

void RequestStop() {
  std::lock_guard<std::mutex> lock(WorldMutex());
  TheWorld().stopRequested = true;
}

int PlatformStartupCount() {
  std::lock_guard<std::mutex> lock(WorldMutex());
  return TheWorld().startupCount;
}

}  // namespace sim

void PlatformStartup(void) {
  std::lock_guard<std::mutex> lock(sim::WorldMutex());
  ++sim::TheWorld().startupCount;
}

void ReportPlatformDiagnostics(void) {}

BOOL KeyPressPending(void) {
  std::lock_guard<std::mutex> lock(sim::WorldMutex());
  return sim::TheWorld().keys.empty() ? FALSE : TRUE;
}

int ReadKeyCode(void) {
  std::lock_guard<std::mutex> lock(sim::WorldMutex());
  std::deque<int>& keys = sim::TheWorld().keys;
  if (keys.empty()) return 0;
  int code = keys.front();
  keys.pop_front();
  return code;
}

BOOL StopRequested(void) {
  std::lock_guard<std::mutex> lock(sim::WorldMutex());
  return sim::TheWorld().stopRequested ? TRUE : FALSE;
}

// The test catches the exit on its own thread; from a waiter thread there
// is nobody to catch it, and the logic never ends the program from there.
void EndProgram(UINT code) {
  if (sim::OnSimThread()) {
    std::fprintf(stderr, "sim: EndProgram(%u) called on a thread CreateThread started\n", code);
    std::fflush(stderr);
    std::abort();
  }
  throw sim::ProgramExit{code};
}
