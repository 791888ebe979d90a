// Helpers for the tests that run real processes: spawning, waiting with a
// deadline, scratch folders, descriptor counts and a tmux terminal.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// Starts a program (no shell) and returns its PID; stdin and stdout are
// pipes when the pointers are given.
pid_t StartProgram(const std::vector<std::string>& argv, int* stdinWrite = nullptr,
                   int* stdoutRead = nullptr, const std::string& workingDir = "");

// Reads everything from a descriptor until end of file, then closes it.
std::string ReadAll(int fd);

// Exit code, or 128 + N for a death by signal N.
int WaitExitCode(pid_t pid);

// Polls until the condition holds or the deadline passes.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds deadline = std::chrono::seconds(20));

// A new empty folder under /tmp, removed with its contents by RemoveTree.
std::string MakeScratchFolder();
void RemoveTree(const std::string& path);

// A scratch folder holding a copy of the tolvane binary, so that its logs
// land there rather than in the build folder.
std::string FolderWithProgram();

std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);

int OpenDescriptorCount();
std::string OpenDescriptors();  // one "fd -> target" line each

// Runs a shell command and returns what it printed.
std::string Shell(const std::string& command);

// A detached tmux session running a command in an 100x30 terminal.
struct Terminal {
  std::string session;
};
Terminal OpenTerminal(const std::string& command, const std::string& workingDir);
std::string Screen(const Terminal& terminal);
void SendKeys(const Terminal& terminal, const std::string& keys);
void CloseTerminal(const Terminal& terminal);
bool HaveTmux();
