// CreateThread and ExitThread over POSIX threads.
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>

#include "platform/process_services.h"

namespace {

struct Gate {
  std::atomic<bool> open{false};
  std::atomic<int> runs{0};
  std::atomic<std::size_t> stackSize{0};
};

DWORD WINAPI WaitAtGate(LPVOID argument) {
  Gate* gate = static_cast<Gate*>(argument);
  pthread_attr_t attributes;
  pthread_getattr_np(pthread_self(), &attributes);
  std::size_t size = 0;
  pthread_attr_getstacksize(&attributes, &size);
  pthread_attr_destroy(&attributes);
  gate->stackSize = size;
  while (!gate->open) {
    timespec pause{0, 1000000};
    nanosleep(&pause, nullptr);
  }
  ++gate->runs;
  ExitThread(0);
  ++gate->runs;  // never reached
  return 1;
}

TEST(Threads, RunTheRoutineWithItsArgumentUntilExitThread) {
  Gate gate;
  HANDLE thread = CreateThread(nullptr, 0, WaitAtGate, &gate, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, 20), WAIT_TIMEOUT);
  gate.open = true;
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(gate.runs.load(), 1);
  EXPECT_LT(gate.stackSize.load(), 8u << 20) << "not the default stack";
  EXPECT_TRUE(CloseHandle(thread));
}

TEST(Threads, CloseWhileRunningLeavesTheThreadToFinish) {
  Gate gate;
  HANDLE thread = CreateThread(nullptr, WAITER_STACK_SIZE, WaitAtGate, &gate,
                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_TRUE(CloseHandle(thread));
  gate.open = true;
  for (int i = 0; i < 20000 && gate.runs.load() == 0; ++i) {
    timespec pause{0, 1000000};
    nanosleep(&pause, nullptr);
  }
  EXPECT_EQ(gate.runs.load(), 1);
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_FAILED) << "the handle is gone";
}

}  // namespace
