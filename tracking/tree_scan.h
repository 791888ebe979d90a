// The walk of the process tree below one parent into the record table, and
// the three lookups on the process list that serve it.
#pragma once

#include "platform/process_services.h"

// 1 when the whole list below parentPid was walked, 0 on a failure.
// parentPid 0 counts every process as a child.
int GetProcessList(DWORD parentPid);

// The parent of pid; 0 when the list cannot be read or pid is not in it.
DWORD GetParentProcessID(DWORD pid);

// 1 and the number of children of pid (every process when pid is 0).
int GetSubProcessNo(DWORD pid, DWORD* count);

// 1 and the full path of pid's executable (MAX_PATH units); 0 leaves path.
int GetModuleName(WCHAR* path, DWORD pid);
