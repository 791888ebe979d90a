#include "tests/linux/real_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

pid_t StartProgram(const std::vector<std::string>& argv, int* stdinWrite, int* stdoutRead,
                   const std::string& workingDir) {
  int in[2] = {-1, -1}, out[2] = {-1, -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (stdinWrite != nullptr) {
    if (pipe2(in, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  }
  if (stdoutRead != nullptr) {
    if (pipe2(out, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  }
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  std::string previous;
  if (!workingDir.empty()) {
    char here[4096];
    if (getcwd(here, sizeof(here)) != nullptr) previous = here;
    if (chdir(workingDir.c_str()) != 0) return -1;
  }
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
  if (!previous.empty() && chdir(previous.c_str()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  if (stdinWrite != nullptr) {
    close(in[0]);
    *stdinWrite = in[1];
  }
  if (stdoutRead != nullptr) {
    close(out[1]);
    *stdoutRead = out[0];
  }
  return pid;
}

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof(buffer));
    if (n > 0) {
      text.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  close(fd);
  return text;
}

int WaitExitCode(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

std::string MakeScratchFolder() {
  char pattern[] = "/tmp/tolvane-test-XXXXXX";
  const char* folder = mkdtemp(pattern);
  return folder == nullptr ? std::string() : std::string(folder);
}

void RemoveTree(const std::string& path) {
  if (path.rfind("/tmp/tolvane-test-", 0) != 0) return;
  Shell("rm -rf '" + path + "'");
}

std::string FolderWithProgram() {
  std::string folder = MakeScratchFolder();
  Shell("cp '" TOLVANE_BINARY "' '" + folder + "/tolvane'");
  return folder;
}

std::string ReadText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string OpenDescriptors() {
  std::string list;
  DIR* folder = opendir("/proc/self/fd");
  if (folder == nullptr) return list;
  while (dirent* entry = readdir(folder)) {
    if (entry->d_name[0] == '.') continue;
    char target[4096];
    ssize_t n = readlinkat(dirfd(folder), entry->d_name, target, sizeof(target) - 1);
    target[n > 0 ? n : 0] = 0;
    list += std::string(entry->d_name) + " -> " + target + "\n";
  }
  closedir(folder);
  return list;
}

int OpenDescriptorCount() {
  int count = 0;
  DIR* folder = opendir("/proc/self/fd");
  if (folder == nullptr) return -1;
  while (readdir(folder) != nullptr) ++count;
  closedir(folder);
  return count - 3;  // ".", ".." and the folder's own descriptor
}

std::string Shell(const std::string& command) {
  std::string text;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return text;
  char buffer[4096];
  std::size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) text.append(buffer, n);
  pclose(pipe);
  return text;
}

bool HaveTmux() { return Shell("command -v tmux").find("tmux") != std::string::npos; }

Terminal OpenTerminal(const std::string& command, const std::string& workingDir) {
  static std::atomic<int> next{0};
  Terminal terminal{"tolvane-test-" + std::to_string(getpid()) + "-" + std::to_string(next++)};
  Shell("tmux new-session -d -s " + terminal.session + " -x 100 -y 30 -c '" + workingDir + "' \"" +
        command + "\"");
  return terminal;
}

std::string Screen(const Terminal& terminal) {
  return Shell("tmux capture-pane -p -t " + terminal.session + " 2>/dev/null");
}

void SendKeys(const Terminal& terminal, const std::string& keys) {
  Shell("tmux send-keys -t " + terminal.session + " " + keys);
}

void CloseTerminal(const Terminal& terminal) {
  Shell("tmux kill-session -t " + terminal.session + " 2>/dev/null");
}
