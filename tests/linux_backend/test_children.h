// Children the process tests control through a pipe: each waits until the
// test closes its end, then does what it was told.
#pragma once

#include <sys/types.h>

// How a controlled process ends.
struct Ending {
  int exitCode;  // used when signal is 0
  int signal;
};

struct ControlledChild {
  pid_t pid = -1;
  int release = -1;  // closing it lets the process go on
};

// A child of the test that, once released, ends as told. With cpuSeconds
// it first spends that much processor time.
ControlledChild StartControlledChild(Ending ending, double cpuSeconds = 0);

// A grandchild: the test's child forks it, reaps it when it ends and then
// exits itself. pid is the grandchild; middle is the test's child.
struct ControlledGrandchild {
  ControlledChild grandchild;
  pid_t middle = -1;
};
ControlledGrandchild StartControlledGrandchild(Ending ending);

void Release(ControlledChild* child);
