// CreateThread over POSIX threads. Threads run detached: a handle closed
// while its thread runs is safe, and nothing is left to join. The state a
// wait needs lives in a record shared by the handle and the thread, freed
// by whichever lets go last.
#include "platform/linux/threads.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>

#include "platform/linux/handle_table.h"
#include "platform/process_services.h"

namespace {

struct ThreadObject {
  std::mutex lock;
  std::condition_variable ended;
  bool finished;
  DWORD exitCode;
  std::atomic<int> holders;  // the handle and the running thread
  LPTHREAD_START_ROUTINE start;
  LPVOID argument;
};

thread_local ThreadObject* currentThread = nullptr;
std::atomic<DWORD> nextThreadId{4};

void LetGo(ThreadObject* thread) {
  if (thread->holders.fetch_sub(1) == 1) delete thread;
}

void ReleaseThreadObject(void* object) { LetGo(static_cast<ThreadObject*>(object)); }

void FinishThread(ThreadObject* thread, DWORD code) {
  {
    std::lock_guard<std::mutex> hold(thread->lock);
    thread->finished = true;
    thread->exitCode = code;
    thread->ended.notify_all();
  }
  currentThread = nullptr;
  LetGo(thread);
}

void* RunThread(void* object) {
  ThreadObject* thread = static_cast<ThreadObject*>(object);
  currentThread = thread;
  DWORD code = thread->start(thread->argument);
  FinishThread(thread, code);
  return nullptr;
}

std::size_t StackSize(SIZE_T requested) {
  // A waiter only waits and copies a few fields. The sanitizers' runtimes
  // print their reports on the thread's own stack and need more room.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  const std::size_t smallest = 1024 * 1024;
#else
  const std::size_t smallest = WAITER_STACK_SIZE;
#endif
  std::size_t size = requested > smallest ? requested : smallest;
  std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return (size + page - 1) / page * page;
}

bool StartDetached(void* (*routine)(void*), void* argument, std::size_t stackSize) {
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return false;
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_attr_setstacksize(&attributes, stackSize);
  sigset_t all, previous;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  pthread_t thread;
  int error = pthread_create(&thread, &attributes, routine, argument);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  pthread_attr_destroy(&attributes);
  return error == 0;
}

}  // namespace

bool StartBackendThread(void* (*routine)(void*), void* argument) {
  return StartDetached(routine, argument, StackSize(0));
}

HANDLE CreateThread(void*, SIZE_T stackSize, LPTHREAD_START_ROUTINE start, LPVOID argument,
                    DWORD flags, DWORD* threadId) {
  if (start == nullptr || (flags & ~STACK_SIZE_PARAM_IS_A_RESERVATION) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);  // suspended starts are not offered
    return nullptr;
  }
  ThreadObject* thread = new ThreadObject();
  thread->finished = false;
  thread->exitCode = STILL_ACTIVE;
  thread->holders.store(2);
  thread->start = start;
  thread->argument = argument;
  if (!StartDetached(RunThread, thread, StackSize(stackSize))) {
    delete thread;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (threadId != nullptr) *threadId = nextThreadId.fetch_add(4);
  return AddHandle(HANDLE_KIND_THREAD, thread, ReleaseThreadObject);
}

void ExitThread(DWORD code) {
  if (currentThread != nullptr) FinishThread(currentThread, code);
  pthread_exit(nullptr);
}

DWORD WaitForThreadObject(void* object, DWORD milliseconds) {
  ThreadObject* thread = static_cast<ThreadObject*>(object);
  std::unique_lock<std::mutex> hold(thread->lock);
  if (milliseconds == INFINITE) {
    thread->ended.wait(hold, [thread] { return thread->finished; });
    return WAIT_OBJECT_0;
  }
  bool finished = thread->ended.wait_for(hold, std::chrono::milliseconds(milliseconds),
                                         [thread] { return thread->finished; });
  return finished ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}
