#include "test_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/wide_text.h"

std::u16string Wide(const std::string& text) {
  std::u16string wide(Utf8ToUtf16(text.c_str(), nullptr, 0) + 1, u'\0');
  Utf8ToUtf16(text.c_str(), wide.data(), wide.size());
  wide.pop_back();
  return wide;
}

std::string Narrow(const std::u16string& text) {
  std::string narrow(Utf16ToUtf8(text.c_str(), nullptr, 0) + 1, '\0');
  Utf16ToUtf8(text.c_str(), narrow.data(), narrow.size());
  narrow.pop_back();
  return narrow;
}

int CountOpenDescriptors() {
  DIR* folder = opendir("/proc/self/fd");
  int count = 0;
  while (const dirent* entry = readdir(folder))
    if (entry->d_name[0] != '.') ++count;
  closedir(folder);
  return count - 1;  // the listing's own descriptor
}

TemporaryFolder::TemporaryFolder() {
  char pattern[] = "/tmp/tolvane-backend-XXXXXX";
  path = mkdtemp(pattern);
}

TemporaryFolder::~TemporaryFolder() {
  std::string command = "rm -rf '" + path + "'";
  if (std::system(command.c_str()) != 0) std::abort();
}

pid_t StartProgram(const std::string& program, const std::vector<std::string>& arguments) {
  std::vector<char*> words;
  words.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments)
    words.push_back(const_cast<char*>(argument.c_str()));
  words.push_back(nullptr);
  pid_t child = fork();
  if (child == 0) {
    execv(program.c_str(), words.data());
    _exit(127);
  }
  return child;
}

int ReapChild(pid_t child) {
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

void EndChild(pid_t child) {
  kill(child, SIGKILL);
  ReapChild(child);
}

std::string ReadLine(int descriptor) {
  std::string line;
  for (;;) {
    pollfd ready{descriptor, POLLIN, 0};
    if (poll(&ready, 1, 20000) <= 0) return "";
    char byte;
    if (read(descriptor, &byte, 1) != 1) return "";
    if (byte == '\n') return line;
    line += byte;
  }
}

ProbeRun StartProbe(const std::string& mode, bool viaPipe) {
  ProbeRun run;
  int output[2], input[2] = {-1, -1};
  if (pipe2(output, O_CLOEXEC) != 0) std::abort();
  std::string slaveName;
  if (viaPipe) {
    if (pipe2(input, O_CLOEXEC) != 0) std::abort();
    run.keys = input[1];
  } else {
    run.keys = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    grantpt(run.keys);
    unlockpt(run.keys);
    slaveName = ptsname(run.keys);
    run.terminal = open(slaveName.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    tcgetattr(run.terminal, &run.found);
  }
  const char* program = PROBE_PATH;
  run.pid = fork();
  if (run.pid == 0) {
    // A session of its own, whose controlling terminal is the pty.
    setsid();
    int in = viaPipe ? input[0] : open(slaveName.c_str(), O_RDWR);
    dup2(in, 0);
    dup2(output[1], 1);
    execl(program, program, mode.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(output[1]);
  if (viaPipe) close(input[0]);
  run.output = output[0];
  return run;
}

void StopProbe(ProbeRun* run) {
  if (run->pid > 0) EndChild(run->pid);
  for (int descriptor : {run->keys, run->terminal, run->output})
    if (descriptor >= 0) close(descriptor);
  *run = ProbeRun{};
}

#include <signal.h>
#include <time.h>

#include "test_children.h"

namespace {

[[noreturn]] void WaitThenEnd(int release, Ending ending, double cpuSeconds) {
  if (cpuSeconds > 0) {
    timespec used{};
    do clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
    while (static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9 < cpuSeconds);
  }
  char byte;
  while (read(release, &byte, 1) > 0) {
  }
  if (ending.signal != 0) {
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigaction(ending.signal, &fallback, nullptr);
    kill(getpid(), ending.signal);
  }
  _exit(ending.exitCode);
}

}  // namespace

ControlledChild StartControlledChild(Ending ending, double cpuSeconds) {
  int gate[2];
  if (pipe2(gate, O_CLOEXEC) != 0) std::abort();
  ControlledChild child;
  child.pid = fork();
  if (child.pid == 0) {
    close(gate[1]);
    WaitThenEnd(gate[0], ending, cpuSeconds);
  }
  close(gate[0]);
  child.release = gate[1];
  return child;
}

ControlledGrandchild StartControlledGrandchild(Ending ending) {
  int gate[2], report[2];
  if (pipe2(gate, O_CLOEXEC) != 0 || pipe2(report, O_CLOEXEC) != 0) std::abort();
  ControlledGrandchild run;
  run.middle = fork();
  if (run.middle == 0) {
    close(gate[1]);
    close(report[0]);
    pid_t grandchild = fork();
    if (grandchild == 0) WaitThenEnd(gate[0], ending, 0);
    close(gate[0]);
    if (write(report[1], &grandchild, sizeof grandchild) != sizeof grandchild) _exit(1);
    int status;
    while (waitpid(grandchild, &status, 0) < 0 && errno == EINTR) {
    }
    _exit(0);
  }
  close(gate[0]);
  close(report[1]);
  pid_t grandchild = -1;
  if (read(report[0], &grandchild, sizeof grandchild) != sizeof grandchild) std::abort();
  close(report[0]);
  run.grandchild.pid = grandchild;
  run.grandchild.release = gate[1];
  return run;
}

void Release(ControlledChild* child) {
  if (child->release >= 0) close(child->release);
  child->release = -1;
}
