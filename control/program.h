// The program's entry behind the platform's own main: prints the title,
// reads the options and runs the monitor. Never returns.
#pragma once

#include "platform/base_types.h"

[[noreturn]] void TolvaneMain(int argc, WCHAR** argv);
