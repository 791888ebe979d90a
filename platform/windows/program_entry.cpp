#include "control/program.h"

int wmain(int argc, wchar_t** argv) { TolvaneMain(argc, argv); }
