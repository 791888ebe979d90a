// A program built on the backend alone, driven by the key and terminal
// tests: it reports every key code it reads on standard output, one per
// line in hex, and ends the way its argument says.
//   keys:     stops on a stop request, reporting "stop pending=N", code 3
//   return:   'q' returns from main (code 4)
//   end:      'q' calls EndProgram(5)
//   stubborn: reports "stopping" and goes on; only a second signal ends it
#include <cstring>

#include "platform/console_services.h"

int main(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "keys";
  PlatformStartup();
  ConsolePrintA("ready\n");
  bool reported = false;
  for (;;) {
    if (StopRequested() && std::strcmp(mode, "stubborn") != 0) {
      ConsolePrintA("stop pending=%d\n", KeyPressPending() ? 1 : 0);
      EndProgram(3);
    }
    if (StopRequested() && !reported) {
      ConsolePrintA("stopping\n");
      reported = true;
    }
    if (!KeyPressPending()) {
      Sleep(5);
      continue;
    }
    int code = ReadKeyCode();
    ConsolePrintA("%02X\n", code);
    if (code == 'q' && std::strcmp(mode, "return") == 0) return 4;
    if (code == 'q' && std::strcmp(mode, "end") == 0) EndProgram(5);
  }
}
