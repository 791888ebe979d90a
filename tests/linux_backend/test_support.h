// What the backend's tests share: real child processes, descriptors
// counted, a temporary folder, UTF-16 text, and a program under a terminal.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <string>
#include <vector>

#include "platform/base_types.h"

std::u16string Wide(const std::string& text);
std::string Narrow(const std::u16string& text);

// Open descriptors of this process.
int CountOpenDescriptors();

// A fresh folder, removed with its files at destruction.
struct TemporaryFolder {
  std::string path;
  TemporaryFolder();
  ~TemporaryFolder();
};

// Starts program with arguments as our child (fork and exec).
pid_t StartProgram(const std::string& program, const std::vector<std::string>& arguments);

// Kills and reaps a child; its exit status otherwise.
void EndChild(pid_t child);
int ReapChild(pid_t child);

// Reads one line from a descriptor, waiting up to 20 s; "" on timeout or
// end of file.
std::string ReadLine(int descriptor);

// The key probe program running with a pseudo-terminal as its controlling
// terminal and standard input (or a pipe, when viaPipe), its standard
// output a pipe to the test.
struct ProbeRun {
  pid_t pid = -1;
  int keys = -1;      // the terminal's master side, or the pipe's write end
  int terminal = -1;  // a slave descriptor kept by the test, for its modes
  int output = -1;    // the probe's standard output
  termios found{};    // the terminal's modes before the probe started
};
ProbeRun StartProbe(const std::string& mode, bool viaPipe);
void StopProbe(ProbeRun* run);
