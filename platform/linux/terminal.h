// The terminal on standard input while the program runs: keys arrive one by
// one without echo, and the mode found at start is put back on every way
// out (EndProgram, exit, a stop or quit signal, a suspension).
#pragma once

// True when this program's process group owns the terminal on standard
// input; a program in the background must not read it (it would be stopped).
bool InForeground(void);

// Switches a foreground terminal on standard input to key mode; nothing
// when standard input is not a terminal. Safe in a signal handler.
void EnterKeyMode(void);

// Enters key mode once it was asked for and could not be had: a program
// started in the background and brought to the foreground by "fg" (the
// shell sends no signal to a job that runs). Safe in a signal handler.
void KeepKeyMode(void);

// Puts the terminal back as it was found; safe in a signal handler and
// more than once.
void RestoreTerminal(void);

// SIGINT, SIGTERM and SIGHUP ask the program to stop (a second one ends it
// at once with 255); SIGPIPE asks it to stop; SIGQUIT and SIGTSTP keep their
// effect but leave the terminal as it was found.
void InstallStopHandlers(void);
