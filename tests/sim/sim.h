// The simulated platform the logic tests run on. It supplies every platform
// service the logic names (processes, snapshots, waits, threads, console,
// keys, clock, files, heap, system texts), over a world that the test stages
// and inspects through the routines below. One world per test binary; a test
// starts its scenario with Reset().
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/base_types.h"

namespace sim {

// Thrown by EndProgram, the program's only way out, so that a test calling
// the program's entry gets control back:
//   catch (const sim::ProgramExit& e) { ... e.code ... }
struct ProgramExit {
  unsigned code;
};

// Exit code carried by the Sleep that goes past the limit of SetSleepLimit.
constexpr unsigned RunawayExitCode = 0xDEAD;

// A fresh world: no processes, own PID 100, clock at 2026-01-02 03:04:05.000
// UTC, no keys, empty console, no faults, no message boxes, stop not
// requested, waiters not held, Sleep limit 100000, and a new empty scratch
// folder as the program's folder (the previous one is removed). The current
// directory starts as "/" and changes only through SetCurrentDirectoryW.
// Before clearing, every simulated process still alive is ended (code 0) so
// that blocked waiter threads return, and every thread CreateThread started
// is joined; file handles left open are closed and heap blocks left live are
// freed. Returns the number of handles other than thread handles that were
// still open at that point (waiter thread handles stay open by design).
// Call it on the test's own thread only.
int Reset();

std::string ProgramFolder();  // UTF-8, no trailing '/'

// Open handles of one kind ("process", "snapshot", "thread", "file"), or of
// every kind for nullptr.
int OpenHandleCount(const char* kind = nullptr);

// Releases of a handle or heap block that is not live (double release), and
// uses of a handle that is closed, unknown or of the wrong kind for the call,
// and closing a process or thread handle while another thread waits on it.
// Each also fails the call with ERROR_INVALID_HANDLE. A test asserts 0.
int HandleMisuseCount();
std::vector<std::string> MisuseReports();  // one readable line per misuse

// --- Processes. Times are FILETIME values (100 ns since 1601) ---

// A process that has ended (EndProcess) is gone from snapshots; a later
// AddProcess with the same PID is a NEW process (PID reuse): handles opened
// on the old one keep reporting the old one's exit code and times. While a
// process runs, GetExitCodeProcess gives STILL_ACTIVE (259) and its exit
// time is zero; after its end, the code and times given to EndProcess (a
// process may end with code 259 too). Snapshots list the live processes in
// the order they were added. WaitForSingleObject on a process handle blocks
// until that process ends (a timeout counts real time, not the clock).
// Naming a PID that is not alive (or adding one that is) aborts the test
// binary with a message: it is a mistake in the test.
void AddProcess(DWORD pid, DWORD parentPid, const std::string& exeName,
                const std::string& exePath /* "" = module snapshot of it fails */,
                std::uint64_t creationTime = 0 /* 0 = the clock now */);
// Kernel and user time 0 keep the values SetCpuTimes gave (0 if none).
void EndProcess(DWORD pid, DWORD exitCode, std::uint64_t exitTime = 0 /* 0 = now */,
                std::uint64_t kernelTime = 0, std::uint64_t userTime = 0);
void SetParent(DWORD pid, DWORD parentPid);  // reparenting, parent loops
void SetCpuTimes(DWORD pid, std::uint64_t kernelTime, std::uint64_t userTime);
void SetOpenable(DWORD pid, bool canOpen);  // false: OpenProcess gives NULL, ERROR_ACCESS_DENIED
bool IsAlive(DWORD pid);

// The program's own PID (GetCurrentProcessId), added as a live process with
// the given parent and name and the program's path (GetModuleFileNameW).
void SetSelf(DWORD pid, DWORD parentPid, const std::string& exeName = "Tolvane.exe");

// Stages the moment "process ended but its waiter has not run yet": while
// held, WaitForSingleObject on a process handle does not return even for an
// ended process (which still reports its exit code); releasing lets them go.
void HoldWaiters(bool hold);

// Waits (real time, at most 5 s) until every thread CreateThread started has
// finished or is blocked in a WaitForSingleObject that cannot return yet.
// False on timeout.
bool WaitForThreadsIdle();
int ThreadsStarted();   // since Reset
int ThreadsFinished();  // since Reset

// --- Clock ---

// GetSystemTime and SystemTimeToFileTime read it; Sleep(ms) advances it by
// ms (no real sleeping), counts the call, then runs the hook.
void SetClock(std::uint64_t fileTime);
std::uint64_t Clock();
std::uint64_t FileTimeOf(int year, int month, int day, int hour, int minute, int second,
                         int ms = 0);
// Run at each Sleep after the clock advanced, on the sleeping thread, for
// tests that act at given moments (end a process at t+3 s, press Esc at t+7 s).
void OnSleep(std::function<void()> hook);
int SleepCount();
// Once this many Sleep calls have been made since Reset, the next Sleep on
// the test's thread throws ProgramExit{RunawayExitCode}, so that a runaway
// loop ends the test (default 100000).
void SetSleepLimit(int calls);

// --- Keys and stop ---

// KeyPressPending is true while the queue is non-empty; ReadKeyCode pops the
// first code (0 when the queue is empty).
void PushKeys(std::initializer_list<int> codes);
void PushKey(int code);
std::size_t PendingKeys();
void RequestStop();  // StopRequested() is true from now on
int PlatformStartupCount();

// --- Console ---

// Everything ConsolePrintA and ConsolePrintW wrote, as UTF-8, in call order.
std::string Output();
// The text written since each SetConsoleCursorPosition to (0,0); index 0 is
// the text before the first.
std::vector<std::string> Screens();
std::string LastScreen();
// The console calls in order: "attr 7 2000 0,0", "char 32 2000 0,0",
// "home 0,0" (any SetConsoleCursorPosition is a "home X,Y").
std::vector<std::string> ConsoleOps();
// Complete clears seen: "attr 7 2000 0,0", "char 32 2000 0,0", "home 0,0"
// right after each other.
int ClearCount();
void ClearOutput();                       // output, screens, console calls and clear count
std::vector<std::string> MessageBoxes();  // texts, UTF-8

// --- Files ---

// Files are real files. CreateFileW, WriteFile, FlushFileBuffers,
// MoveFileExW, DeleteFileW and CloseHandle map to POSIX calls on names
// resolved against the simulated current directory (UTF-16 names as UTF-8,
// '\\' counts as '/'). CreateFileW honours GENERIC_READ with OPEN_EXISTING,
// GENERIC_WRITE with CREATE_ALWAYS, CREATE_NEW (exclusive, never through a
// symbolic link) and OPEN_ALWAYS, and the sharing rules between the
// program's own open handles. MoveFileExW is rename. Nothing may be created,
// replaced or deleted directly in "/": it fails with ERROR_ACCESS_DENIED, as
// for an ordinary user.
//
// A file held "open without sharing by another program": while locked,
// CreateFileW of it and MoveFileExW or DeleteFileW onto or of it fail with
// ERROR_SHARING_VIOLATION (32).
void LockFile(const std::string& path /* absolute, UTF-8 */, bool locked);
std::string ReadFileBytes(const std::string& path);  // "" when it cannot be read
bool FileExists(const std::string& path);            // without following a link

// --- Heap ---

int LiveHeapBlocks();  // HeapAlloc/HeapReAlloc blocks not yet freed

// --- Faults ---

// Each operation can be made to fail at its n-th call from now (n = 1 is the
// next call) for `times` consecutive calls, or at every call (n = 0), with
// the given last-error code. A later Fail of the same operation replaces the
// earlier one. Calls that fail because of a misuse still count.
enum class Op {
  ProcessSnapshot,  // CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS)
  ModuleSnapshot,   // CreateToolhelp32Snapshot(TH32CS_SNAPMODULE)
  Process32First,
  Process32Next,
  Module32First,
  OpenProcess,
  GetExitCodeProcess,
  GetProcessTimes,
  CreateThread,
  CreateFile,
  WriteFile,   // fails outright, nothing written
  ShortWrite,  // a WriteFile writes half and reports that, with success
  FlushFileBuffers,
  MoveFile,
  DeleteFile,
  HeapAlloc,  // HeapAlloc and HeapReAlloc; always ERROR_NOT_ENOUGH_MEMORY
  FormatMessage,
  WideCharToMultiByte,
  CloseHandle,  // reports failure; the handle is released all the same
  Count
};
void Fail(Op op, int nth = 1, int times = 1, DWORD error = ERROR_ACCESS_DENIED);
void ClearFaults();
int CallCount(Op op);  // calls since Reset, for "fail the k-th call" sweeps

}  // namespace sim
