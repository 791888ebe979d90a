// Process services: snapshots of the process and module lists, process
// handles, waits, exit codes, process times and threads, under their Win32
// names. On Windows this is the Win32 API itself; every other backend
// (Linux, the simulated platform of the tests) supplies the same functions.
#pragma once

#include "platform/base_types.h"

#ifdef _WIN32

#include <tlhelp32.h>

#else

#define TH32CS_SNAPPROCESS 0x00000002u
#define TH32CS_SNAPMODULE 0x00000008u

#define SYNCHRONIZE 0x00100000u
#define PROCESS_QUERY_INFORMATION 0x0400u
#define PROCESS_QUERY_LIMITED_INFORMATION 0x1000u

#define STACK_SIZE_PARAM_IS_A_RESERVATION 0x00010000u

typedef struct tagPROCESSENTRY32W {
  DWORD dwSize;
  DWORD cntUsage;
  DWORD th32ProcessID;
  ULONG_PTR th32DefaultHeapID;
  DWORD th32ModuleID;
  DWORD cntThreads;
  DWORD th32ParentProcessID;
  LONG pcPriClassBase;
  DWORD dwFlags;
  WCHAR szExeFile[MAX_PATH];
} PROCESSENTRY32W;

#define MAX_MODULE_NAME32 255

typedef struct tagMODULEENTRY32W {
  DWORD dwSize;
  DWORD th32ModuleID;
  DWORD th32ProcessID;
  DWORD GlblcntUsage;
  DWORD ProccntUsage;
  BYTE* modBaseAddr;
  DWORD modBaseSize;
  HMODULE hModule;
  WCHAR szModule[MAX_MODULE_NAME32 + 1];
  WCHAR szExePath[MAX_PATH];
} MODULEENTRY32W;

typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID);

// Snapshots: INVALID_HANDLE_VALUE on failure (last error set).
HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD pid);
BOOL Process32FirstW(HANDLE snapshot, PROCESSENTRY32W* entry);
BOOL Process32NextW(HANDLE snapshot, PROCESSENTRY32W* entry);
BOOL Module32FirstW(HANDLE snapshot, MODULEENTRY32W* entry);

// Releases any handle: snapshot, process, thread or file.
BOOL CloseHandle(HANDLE handle);

DWORD GetCurrentProcessId(void);
HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD pid);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode);
BOOL GetProcessTimes(HANDLE process, FILETIME* creation, FILETIME* exit, FILETIME* kernel,
                     FILETIME* user);

HANDLE CreateThread(void* security, SIZE_T stackSize, LPTHREAD_START_ROUTINE start, LPVOID argument,
                    DWORD flags, DWORD* threadId);
void ExitThread(DWORD code);

#endif

// Stack reserved for each waiter thread: it only waits and copies a few
// fields, and there may be one per record.
#define WAITER_STACK_SIZE (64u * 1024u)
