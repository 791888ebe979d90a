#include "tests/packaging/command.h"

#include <sys/wait.h>

#include <cstdio>

CommandResult RunCommand(const std::string& command) {
  CommandResult result{-1, ""};
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) result.output.append(buffer, n);
  const int status = pclose(pipe);
  if (WIFEXITED(status))
    result.status = WEXITSTATUS(status);
  else if (WIFSIGNALED(status))
    result.status = 128 + WTERMSIG(status);
  return result;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }
