#include <algorithm>

#include "tests/sim/sim_world.h"

namespace sim {

bool FaultDueLocked(World& world, Op op, DWORD* error) {
  std::size_t index = static_cast<std::size_t>(op);
  long call = ++world.calls[index];
  const Fault& fault = world.faults[index];
  if (!fault.armed) return false;
  if (!fault.always && (call < fault.from || call >= fault.until)) return false;
  *error = fault.error;
  return true;
}

void Fail(Op op, int nth, int times, DWORD error) {
  if (nth < 0 || op == Op::Count) TestMistake("Fail needs a real operation and nth >= 0");
  std::lock_guard<std::mutex> lock(WorldMutex());
  World& world = TheWorld();
  std::size_t index = static_cast<std::size_t>(op);
  Fault fault;
  fault.armed = true;
  fault.always = nth == 0;
  fault.from = world.calls[index] + nth;
  fault.until = fault.from + std::max(times, 1);
  fault.error = error;
  world.faults[index] = fault;
}

void ClearFaults() {
  std::lock_guard<std::mutex> lock(WorldMutex());
  TheWorld().faults = {};
}

int CallCount(Op op) {
  if (op == Op::Count) TestMistake("CallCount needs a real operation");
  std::lock_guard<std::mutex> lock(WorldMutex());
  return static_cast<int>(TheWorld().calls[static_cast<std::size_t>(op)]);
}

}  // namespace sim
