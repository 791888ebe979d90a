// Threads run on real POSIX threads; waits block on the simulated objects.
#include <algorithm>
#include <chrono>

#include "tests/sim/sim_world.h"

namespace sim {

namespace {

// Sanitizers widen every frame, so a waiter gets more than the 64 KiB the
// program asks for; the request is still honoured when larger.
constexpr std::size_t MinimumStack = 512u * 1024u;

void* RunSimThread(void* argument) {
  SimThread* thread = static_cast<SimThread*>(argument);
  SetCurrentSimThread(thread);
  DWORD code = thread->start(thread->argument);
  std::lock_guard<std::mutex> lock(WorldMutex());
  if (!thread->exitThreadCalled) thread->exitCode = code;
  thread->finished = true;
  ++TheWorld().threadsFinished;
  thread->changed.notify_all();
  ThreadsChanged().notify_all();
  return nullptr;
}

bool BlockedLocked(const World& world, const SimThread& thread) {
  return thread.waitingOn != nullptr && thread.waitingOn->open &&
         !SignalledLocked(world, *thread.waitingOn);
}

}  // namespace

bool SignalledLocked(const World& world, const HandleEntry& entry) {
  if (entry.kind == HandleKind::Thread) return entry.thread->finished;
  return entry.process->ended && !world.holdWaiters;
}

void HoldWaiters(bool hold) {
  std::lock_guard<std::mutex> lock(WorldMutex());
  World& world = TheWorld();
  world.holdWaiters = hold;
  if (!hold)
    for (const auto& process : world.everyProcess) process->changed.notify_all();
}

bool WaitForThreadsIdle() {
  std::unique_lock<std::mutex> lock(WorldMutex());
  World& world = TheWorld();
  auto idle = [&world] {
    return std::all_of(world.threads.begin(), world.threads.end(),
                       [&world](const std::shared_ptr<SimThread>& thread) {
                         return thread->finished || BlockedLocked(world, *thread);
                       });
  };
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  // Woken on every block and finish; the short period also covers a thread
  // whose wait became satisfiable without a notification reaching us.
  while (!idle()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    ThreadsChanged().wait_for(lock, std::chrono::milliseconds(20));
  }
  return true;
}

int ThreadsStarted() {
  std::lock_guard<std::mutex> lock(WorldMutex());
  return static_cast<int>(TheWorld().threads.size());
}

int ThreadsFinished() {
  std::lock_guard<std::mutex> lock(WorldMutex());
  return TheWorld().threadsFinished;
}

}  // namespace sim

HANDLE CreateThread(void* security, SIZE_T stackSize, LPTHREAD_START_ROUTINE start, LPVOID argument,
                    DWORD flags, DWORD* threadId) {
  using namespace sim;
  static_cast<void>(security);
  static_cast<void>(flags);
  std::lock_guard<std::mutex> lock(WorldMutex());
  World& world = TheWorld();
  DWORD error = 0;
  if (FaultDueLocked(world, Op::CreateThread, &error)) {
    SetLastError(error);
    return nullptr;
  }
  if (start == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto thread = std::make_shared<SimThread>();
  thread->start = start;
  thread->argument = argument;
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, std::max<std::size_t>(stackSize, MinimumStack));
  int started = pthread_create(&thread->thread, &attributes, RunSimThread, thread.get());
  pthread_attr_destroy(&attributes);
  if (started != 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  world.threads.push_back(thread);
  auto entry = std::make_shared<HandleEntry>();
  entry->kind = HandleKind::Thread;
  entry->thread = thread;
  if (threadId != nullptr) {
    *threadId = world.nextThreadId;
    world.nextThreadId += 4;
  }
  return NewHandleLocked(world, entry);
}

// Returns to the routine, which the program ends right after this call;
// the code is kept as the thread's exit code.
void ExitThread(DWORD code) {
  using namespace sim;
  SimThread* thread = CurrentSimThread();
  if (thread == nullptr) TestMistake("ExitThread called on a thread CreateThread did not start");
  std::lock_guard<std::mutex> lock(WorldMutex());
  thread->exitThreadCalled = true;
  thread->exitCode = code;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  using namespace sim;
  std::unique_lock<std::mutex> lock(WorldMutex());
  World& world = TheWorld();
  std::shared_ptr<HandleEntry> entry = FindOpenHandleLocked(world, handle, "WaitForSingleObject");
  if (entry == nullptr) return WAIT_FAILED;
  if (entry->kind != HandleKind::Process && entry->kind != HandleKind::Thread) {
    RecordMisuseLocked(world, "WaitForSingleObject", handle, "not a process or thread handle");
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  if (entry->kind == HandleKind::Process && (entry->access & SYNCHRONIZE) == 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return WAIT_FAILED;
  }
  auto done = [&world, &entry] { return !entry->open || SignalledLocked(world, *entry); };
  if (!done()) {
    std::condition_variable& changed =
        entry->kind == HandleKind::Process ? entry->process->changed : entry->thread->changed;
    SimThread* self = CurrentSimThread();
    ++entry->waiters;
    if (self != nullptr) {
      self->waitingOn = entry;
      ThreadsChanged().notify_all();
    }
    bool satisfied = true;
    if (milliseconds == INFINITE)
      changed.wait(lock, done);
    else
      satisfied = changed.wait_for(lock, std::chrono::milliseconds(milliseconds), done);
    --entry->waiters;
    if (self != nullptr) self->waitingOn.reset();
    if (!satisfied) return WAIT_TIMEOUT;
  }
  if (!entry->open) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return WAIT_OBJECT_0;
}
