// The program's version, written here only: the title, the log header, the
// CMake project and the package names all read it from this line.
#pragma once

#define TOLVANE_VERSION "1.0.0.3"
