// Key codes as the program reads them: the terminal's escape sequences
// translated as the Windows console reports the keys, a pipe's bytes as
// they are, and the terminal left as it was found on every way out.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/linux/key_translation.h"
#include "test_support.h"

namespace {

struct KeyCase {
  const char* name;
  std::string bytes;
  std::vector<int> codes;
};

const std::vector<KeyCase> keyCases = {
    {"Esc", "\x1b", {0x1B}},
    {"Tab", "\t", {0x09}},
    {"Enter", "\r", {0x0D}},
    {"PageUp", "\x1b[5~", {0xE0, 0x49}},
    {"PageDown", "\x1b[6~", {0xE0, 0x51}},
    {"Up", "\x1b[A", {0xE0, 0x48}},
    {"Down", "\x1b[B", {0xE0, 0x50}},
    {"Right", "\x1b[C", {0xE0, 0x4D}},
    {"Left", "\x1b[D", {0xE0, 0x4B}},
    {"UpInApplicationMode", "\x1bOA", {0xE0, 0x48}},
    {"CtrlUp", "\x1b[1;5A", {0xE0, 0x48}},
    {"Home", "\x1b[H", {0xE0, 0x47}},
    {"HomeTilde", "\x1b[1~", {0xE0, 0x47}},
    {"HomeSs3", "\x1bOH", {0xE0, 0x47}},
    {"End", "\x1b[F", {0xE0, 0x4F}},
    {"EndTilde", "\x1b[4~", {0xE0, 0x4F}},
    {"Insert", "\x1b[2~", {0xE0, 0x52}},
    {"Delete", "\x1b[3~", {0xE0, 0x53}},
    {"F1", "\x1bOP", {0x00, 0x3B}},
    {"F4", "\x1bOS", {0x00, 0x3E}},
    {"F1LinuxConsole", "\x1b[[A", {0x00, 0x3B}},
    {"F5", "\x1b[15~", {0x00, 0x3F}},
    {"F6", "\x1b[17~", {0x00, 0x40}},
    {"F10", "\x1b[21~", {0x00, 0x44}},
    {"F11", "\x1b[23~", {0xE0, 0x85}},
    {"F12", "\x1b[24~", {0xE0, 0x86}},
    {"UnknownSequenceIgnored", "\x1b[99~x", {'x'}},
    {"EscThenKey", "\x1bq", {0x1B, 'q'}},
    {"TwoEscapes", "\x1b\x1b", {0x1B, 0x1B}},
    {"KeysInARow", "a\x1b[5~b", {'a', 0xE0, 0x49, 'b'}},
};

std::vector<int> TranslateAll(const std::string& bytes, bool complete) {
  int codes[64];
  std::size_t produced;
  TranslateKeyBytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), complete,
                    codes, 64, &produced);
  return std::vector<int>(codes, codes + produced);
}

TEST(KeyTranslation, GivesTheConsoleCodesOfEachKey) {
  for (const KeyCase& key : keyCases)
    EXPECT_EQ(TranslateAll(key.bytes, true), key.codes) << key.name;
}

TEST(KeyTranslation, WaitsForTheRestOfACutSequence) {
  for (const std::string start : {"\x1b", "\x1b[", "\x1b[2", "\x1bO", "\x1b[["}) {
    int codes[8];
    std::size_t produced;
    std::size_t used = TranslateKeyBytes(reinterpret_cast<const unsigned char*>(start.data()),
                                         start.size(), false, codes, 8, &produced);
    EXPECT_EQ(used, 0u) << start.size();
    EXPECT_EQ(produced, 0u);
  }
  EXPECT_TRUE(TranslateAll("\x1b[2", true).empty()) << "a cut sequence is dropped";
}

std::vector<int> ReadCodes(int output, std::size_t count) {
  std::vector<int> codes;
  while (codes.size() < count) {
    std::string line = ReadLine(output);
    if (line.empty()) break;
    codes.push_back(std::stoi(line, nullptr, 16));
  }
  return codes;
}

void Send(int descriptor, const std::string& bytes) {
  ASSERT_EQ(write(descriptor, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

TEST(KeyInput, TranslatesKeysFromATerminal) {
  ProbeRun probe = StartProbe("keys", false);
  ASSERT_EQ(ReadLine(probe.output), "ready");
  for (const char* name :
       {"Esc", "Tab", "PageUp", "PageDown", "Up", "F1", "F12", "Enter", "UnknownSequenceIgnored"}) {
    for (const KeyCase& key : keyCases) {
      if (key.name != std::string(name)) continue;
      Send(probe.keys, key.bytes);
      EXPECT_EQ(ReadCodes(probe.output, key.codes.size()), key.codes) << name;
    }
  }
  StopProbe(&probe);
}

TEST(KeyInput, TakesAPipesBytesAsTheyAreAndNothingAfterItsEnd) {
  ProbeRun probe = StartProbe("keys", true);
  ASSERT_EQ(ReadLine(probe.output), "ready");
  Send(probe.keys, "\x1b[5~\t");
  EXPECT_EQ(ReadCodes(probe.output, 5), (std::vector<int>{0x1B, '[', '5', '~', 0x09}));
  close(probe.keys);
  probe.keys = -1;
  kill(probe.pid, SIGTERM);
  EXPECT_EQ(ReadLine(probe.output), "stop pending=0");
  int status = ReapChild(probe.pid);
  probe.pid = -1;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << status;
  StopProbe(&probe);
}

// --- The terminal's modes ---

termios ModesOf(int terminal) {
  termios modes{};
  tcgetattr(terminal, &modes);
  return modes;
}

void ExpectSameModes(const termios& found, const termios& now) {
  EXPECT_EQ(found.c_lflag, now.c_lflag);
  EXPECT_EQ(found.c_iflag, now.c_iflag);
  EXPECT_EQ(found.c_oflag, now.c_oflag);
  EXPECT_EQ(found.c_cc[VMIN], now.c_cc[VMIN]);
  EXPECT_EQ(found.c_cc[VTIME], now.c_cc[VTIME]);
}

struct ExitCase {
  const char* name;
  const char* mode;
  int signalsSent;  // SIGTERMs; 0: the key 'q'
  int exitCode;
};

TEST(TerminalModes, KeyModeWhileRunningAndAsFoundOnEveryWayOut) {
  const ExitCase cases[] = {
      {"EndProgram", "end", 0, 5},
      {"ReturnFromMain", "return", 0, 4},
      {"StopSignal", "keys", 1, 3},
      {"SecondStopSignal", "stubborn", 2, 255},
  };
  for (const ExitCase& way : cases) {
    ProbeRun probe = StartProbe(way.mode, false);
    const termios& found = probe.found;
    ASSERT_EQ(ReadLine(probe.output), "ready") << way.name;
    termios running = ModesOf(probe.terminal);
    EXPECT_EQ(running.c_lflag & (ICANON | ECHO), 0u) << way.name;
    EXPECT_EQ(running.c_lflag | ICANON | ECHO, found.c_lflag) << way.name;
    EXPECT_EQ(running.c_oflag, found.c_oflag) << way.name;
    EXPECT_EQ(running.c_cc[VMIN], 1) << way.name;
    if (way.signalsSent == 0) {
      Send(probe.keys, "q");
    } else {
      kill(probe.pid, SIGTERM);
      if (way.signalsSent == 2) {
        EXPECT_EQ(ReadLine(probe.output), "stopping") << way.name;
        kill(probe.pid, SIGTERM);
      }
    }
    int status = ReapChild(probe.pid);
    probe.pid = -1;
    EXPECT_TRUE(WIFEXITED(status)) << way.name << " " << status;
    EXPECT_EQ(WEXITSTATUS(status), way.exitCode) << way.name;
    ExpectSameModes(found, ModesOf(probe.terminal));
    EXPECT_NE(found.c_lflag & ECHO, 0u) << "a new terminal echoes";
    StopProbe(&probe);
  }
}

}  // namespace
