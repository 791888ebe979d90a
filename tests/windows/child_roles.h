// The roles a copy of the test executable plays when a test starts it:
//   --tree <ready semaphore> <exit code> <release event>
//          [<exit code> <release event>]...
//       starts one child per further pair, in the same role, releases the
//       semaphore once, then waits for its event and exits with its code;
//   --hold-console <ready event> <release event>
//       runs the platform start-up, signals ready, waits, and leaves
//       through EndProgram with 7;
//   --await-stop <ready event>
//       runs the platform start-up, signals ready, and leaves through
//       EndProgram with 0 once a stop is requested (1 if none comes).
#pragma once

bool IsChildRole(const char* word);
int RunChildRole(int argc, char** argv);
