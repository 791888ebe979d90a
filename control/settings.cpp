#include "control/settings.h"

DWORD CheckTimer = 1;
DWORD DumpTimer = 5;
DWORD DumpNumber = 20;
BOOL blDebug = FALSE;
SYSTEMTIME tProgramStart;
