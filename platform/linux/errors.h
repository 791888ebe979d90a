// The calling thread's last error, and the translation of the system's
// errno values into the Win32 codes the logic reads.
#pragma once

#include "platform/base_types.h"

// Win32 codes beyond the shared set that errno values map to.
#define ERROR_NOT_SAME_DEVICE 17u
#define ERROR_BROKEN_PIPE 109u
#define ERROR_DIR_NOT_EMPTY 145u
#define ERROR_BUSY 170u
#define ERROR_FILENAME_EXCED_RANGE 206u

DWORD Win32ErrorFromErrno(int error);

// As above, but a missing file is told from a missing folder on its way,
// as Windows does (ERROR_FILE_NOT_FOUND against ERROR_PATH_NOT_FOUND).
DWORD Win32ErrorForPath(int error, const char* path);

// Sets the last error from errno and returns nothing, for one-line failures.
void SetLastErrorFromErrno(void);
