// Runs a shell command line and keeps what it printed and how it ended.
#pragma once

#include <string>

struct CommandResult {
  int status;          // exit code, or 128 + N for a death by signal N
  std::string output;  // standard output only; add 2>&1 to have the errors too
};

CommandResult RunCommand(const std::string& command);

// The text in single quotes for sh; the text must hold no single quote.
std::string Quoted(const std::string& text);
