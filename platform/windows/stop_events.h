// Console control events (Ctrl+C, Ctrl+Break, the window closing, logoff,
// shutdown) turned into the program's stop request.
#pragma once

void InstallStopHandler(void);
