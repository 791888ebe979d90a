// The two kinds of Toolhelp snapshot: every process, or one process's
// executable module.
#pragma once

#include "platform/base_types.h"

HANDLE CreateProcessSnapshot(void);
HANDLE CreateModuleSnapshot(DWORD pid);
