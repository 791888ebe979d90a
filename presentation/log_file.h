// The log file: its name, the save that rewrites it whole, and the note
// that system errors leave in it.
#pragma once

#include "platform/console_services.h"

extern WCHAR szLogFileName[MAX_PATH];
extern WCHAR szErrMsg[MAX_PATH];
extern BOOL blErrMsg;

// Results of blFileSave.
constexpr int SaveWritten = 0;
constexpr int SaveRetry = 1;
constexpr int SaveCannotGoOn = 2;

void SetExeDirectory(void);
void GetLogFileName(void);
int blFileSave(void);

// Turns the calling thread's last system error into the note, naming the
// operation that failed.
void printError(const WCHAR* operation);
