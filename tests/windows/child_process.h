// The processes the tests start, Tolvane.exe and copies of this test
// executable in a child role, and the small waits around them.
#pragma once

#include <functional>
#include <string>

#include "platform/base_types.h"

std::wstring OwnPath();
std::wstring OwnName();
// Tolvane.exe is built beside the test executable.
std::wstring TolvanePath();

std::wstring Widen(const std::string& ascii);

struct Child {
  HANDLE process = nullptr;
  DWORD pid = 0;
  HANDLE input = nullptr;   // our end of its standard input pipe, when it has one
  HANDLE output = nullptr;  // our end of its standard output and error pipe, when captured
};

// How the child's standard input is set up.
struct ChildInput {
  bool pipe = false;        // a new pipe whose writing end becomes Child::input
  HANDLE handle = nullptr;  // else this inheritable handle, or (null) what the system gives
};

// Starts program with arguments. With a pipe or a handle for standard
// input, standard output and error go together to a pipe read through
// Child::output. flags go to CreateProcessW as they are.
bool StartChild(const std::wstring& program, const std::wstring& arguments, ChildInput input,
                DWORD flags, Child* child);

// Releases what is still open of the child, ending it first if it runs.
void FinishChild(Child* child);

// Waits, polling, until condition holds or timeoutMs has passed.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);

// A generous bound for anything that is expected to happen.
constexpr DWORD Patience = 60000;
