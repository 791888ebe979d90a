#include "bench/population.h"

#include <dirent.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "bench/record_fill.h"

namespace {

// Runs in a forked child of a process that may have threads: only calls
// that are safe after fork until the exec or the end.
[[noreturn]] void RunHolder(int perGroup, int ready, char* const* sleepArgv) {
  for (int i = 0; i < perGroup; ++i) {
    pid_t child = fork();
    if (child == 0) {
      close(ready);
      execv(sleepArgv[0], sleepArgv);
      _exit(127);
    }
  }
  char byte = 1;
  if (write(ready, &byte, 1) != 1) _exit(126);
  close(ready);
  for (;;) pause();
}

[[noreturn]] void RunRoot(int groups, int perGroup, int ready, char* const* sleepArgv) {
  setpgid(0, 0);
  for (int g = 0; g < groups; ++g)
    if (fork() == 0) RunHolder(perGroup, ready, sleepArgv);
  close(ready);
  for (;;) pause();
}

}  // namespace

Population StartPopulation(int groups, int perGroup) {
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  static char sleepPath[] = "/bin/sleep";
  static char sleepSeconds[] = "3600";
  static char* const sleepArgv[] = {sleepPath, sleepSeconds, nullptr};
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) std::abort();
  Population population;
  population.root = fork();
  if (population.root == 0) {
    close(pipeEnds[0]);
    RunRoot(groups, perGroup, pipeEnds[1], sleepArgv);
  }
  close(pipeEnds[1]);
  // Also set here, so that the group exists before this returns.
  setpgid(population.root, population.root);
  for (int started = 0; started < groups;) {
    char byte;
    ssize_t got = read(pipeEnds[0], &byte, 1);
    if (got == 1) {
      ++started;
    } else if (!(got < 0 && errno == EINTR)) {
      std::fprintf(stderr, "population: a holder failed to start\n");
      break;
    }
  }
  close(pipeEnds[0]);
  population.processes = groups * (1 + perGroup);
  return population;
}

void EndPopulation(Population* population) {
  if (population->root <= 0) return;
  kill(-population->root, SIGKILL);
  // A member is reparented to us before its parent can be reaped, so once
  // nothing of the group is left among our children, nothing is left.
  while (waitpid(-population->root, nullptr, 0) > 0 || errno == EINTR) {
  }
  population->root = -1;
  population->processes = 0;
}

int ProcessCount() {
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return 0;
  int count = 0;
  while (const dirent* item = readdir(proc))
    if (item->d_name[0] >= '1' && item->d_name[0] <= '9') ++count;
  closedir(proc);
  return count;
}

void RaiseDescriptorLimit() {
  rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);
}

namespace {

Population background;
Population tree;

}  // namespace

void UseBackground(int total) {
  const int others = ProcessCount() - (background.root > 0 ? background.processes + 1 : 0);
  const int missing = total - others - 1;  // the background's root counts too
  const int perGroup = 49;
  // Within one group of the wanted size: keep what runs.
  const int difference = missing - background.processes;
  if (difference > -(perGroup + 1) && difference < perGroup + 1) return;
  EndPopulation(&background);
  if (missing < perGroup + 1) return;
  background = StartPopulation(missing / (perGroup + 1), perGroup);
}

const Population& UseTree(int processes) {
  if (tree.root > 0 && tree.processes == processes) return tree;
  EndTree();
  const int perGroup = processes >= 1000 ? 39 : processes >= 100 ? 9 : 4;
  tree = StartPopulation(processes / (perGroup + 1), perGroup);
  return tree;
}

void EndTree() {
  EndPopulation(&tree);
  if (!ClearRecords()) std::fprintf(stderr, "bench: some waiters did not report their end\n");
}

void EndAllPopulations() {
  EndTree();
  EndPopulation(&background);
}
