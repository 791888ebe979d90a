// Console, keyboard, clock, file, system error text and message box
// services, under their Win32 names, plus the few helpers that have no Win32
// name (key test and read, formatted output, stop events, program exit).
// On Windows the named functions are the Win32 API itself; every other
// backend supplies the same functions.
#pragma once

#include <cstdarg>

#include "platform/base_types.h"

#ifndef _WIN32

typedef short SHORT;

typedef struct _COORD {
  SHORT X;
  SHORT Y;
} COORD;

#define STD_INPUT_HANDLE (static_cast<DWORD>(-10))
#define STD_OUTPUT_HANDLE (static_cast<DWORD>(-11))
#define STD_ERROR_HANDLE (static_cast<DWORD>(-12))

#define MB_OK 0x00000000u

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u
#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u

#define MOVEFILE_REPLACE_EXISTING 0x00000001u
#define MOVEFILE_WRITE_THROUGH 0x00000008u

#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u
#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(p, s) ((static_cast<DWORD>(static_cast<WORD>(s)) << 10) | static_cast<WORD>(p))

#define CP_ACP 0u
#define CP_UTF8 65001u

#define HEAP_ZERO_MEMORY 0x00000008u

HANDLE GetStdHandle(DWORD which);
BOOL FillConsoleOutputAttribute(HANDLE console, WORD attribute, DWORD length, COORD first,
                                DWORD* written);
BOOL FillConsoleOutputCharacterW(HANDLE console, WCHAR character, DWORD length, COORD first,
                                 DWORD* written);
BOOL SetConsoleCursorPosition(HANDLE console, COORD position);

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

void GetSystemTime(SYSTEMTIME* time);
BOOL SystemTimeToFileTime(const SYSTEMTIME* time, FILETIME* fileTime);
void Sleep(DWORD milliseconds);

DWORD GetModuleFileNameW(HMODULE module, LPWSTR path, DWORD size);
BOOL SetCurrentDirectoryW(LPCWSTR path);

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, void* security, DWORD disposition,
                   DWORD attributes, HANDLE templateFile);
BOOL WriteFile(HANDLE file, LPCVOID bytes, DWORD count, DWORD* written, void* overlapped);
BOOL FlushFileBuffers(HANDLE file);
BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags);
BOOL DeleteFileW(LPCWSTR name);

DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer,
                     DWORD size, va_list* arguments);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideCount, LPSTR narrow,
                        int narrowSize, LPCSTR defaultChar, BOOL* usedDefault);

HANDLE GetProcessHeap(void);
LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID memory, SIZE_T bytes);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID memory);

#endif

// --- Helpers without a Win32 name, supplied by every backend ---

// Prepares the console for the run (key input without echo, stop events
// caught) and whatever the backend needs from the start. Called once,
// first thing in the program.
void PlatformStartup(void);

// Prints, on the console, what the backend found at start-up that a
// developer may want to know (debug mode only).
void ReportPlatformDiagnostics(void);

// True when at least one key code is waiting; consumes nothing.
BOOL KeyPressPending(void);

// Reads one key code, waiting for it if none is pending. Navigation keys
// arrive as two codes: 0xE0 (or 0x00 for function keys), then the scan code.
int ReadKeyCode(void);

// Formatted console output: printf-style narrow text, and UTF-16 text in the
// format language of FormatTextW. Both reach standard output in call order.
void ConsolePrintA(const char* format, ...);
void ConsolePrintW(const WCHAR* format, ...);

// True once an interrupt, termination or hang-up (or on Windows a console
// control event) has asked the program to stop.
BOOL StopRequested(void);

// Ends the program and all its threads with the given code, after putting
// the console back the way it was found.
[[noreturn]] void EndProgram(UINT code);
