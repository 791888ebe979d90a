// The one routine all console text goes through, and the standard handles.
#pragma once

#include <cstddef>

#include "platform/base_types.h"

// Writes the bytes to standard output in full (short writes and
// interruptions included); output that cannot be written is dropped.
void WriteConsoleBytes(const char* bytes, std::size_t count);

// Writes to standard error, for messages the console view must not hide.
void WriteErrorBytes(const char* bytes, std::size_t count);

// The values GetStdHandle gives; they stand for descriptors 0, 1 and 2.
bool IsStandardHandle(HANDLE handle);
int StandardHandleDescriptor(HANDLE handle);

// Writes in full to any descriptor; false with errno on failure.
bool WriteAll(int descriptor, const void* bytes, std::size_t count, std::size_t* written);
