// File names: the program's UTF-16 names as the system's UTF-8 ones.
#pragma once

#include <cstddef>

#include "platform/base_types.h"

// False with ERROR_FILENAME_EXCED_RANGE when the name does not fit.
bool SystemPathFromWide(LPCWSTR name, char* path, std::size_t size);
