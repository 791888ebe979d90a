// The console input mode: switched at start-up so that keys arrive one at
// a time, unechoed, and put back on the way out.
#pragma once

// Does nothing when standard input is not a console.
void SwitchConsoleInputMode(void);
void RestoreConsoleInputMode(void);
