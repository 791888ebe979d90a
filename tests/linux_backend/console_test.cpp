// Console output: all text through standard output in call order, VT
// sequences for the console buffer operations on a terminal only, and
// message boxes on standard error.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/console_services.h"
#include "test_support.h"

namespace {

// Points a standard descriptor at another file for the test's duration.
struct Redirect {
  int descriptor, saved;
  Redirect(int target, int into) : descriptor(target), saved(dup(target)) {
    std::fflush(nullptr);
    dup2(into, target);
  }
  ~Redirect() {
    dup2(saved, descriptor);
    close(saved);
  }
};

std::string ReadAvailable(int descriptor) {
  std::string text;
  char buffer[4096];
  for (;;) {
    pollfd ready{descriptor, POLLIN, 0};
    if (poll(&ready, 1, 200) <= 0) return text;
    ssize_t length = read(descriptor, buffer, sizeof buffer);
    if (length <= 0) return text;
    text.append(buffer, static_cast<std::size_t>(length));
  }
}

void DrawLikeTheView() {
  HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
  COORD origin{0, 0};
  DWORD written = 0;
  EXPECT_TRUE(FillConsoleOutputCharacterW(console, u' ', 2000, origin, &written));
  EXPECT_EQ(written, 2000u);
  EXPECT_TRUE(FillConsoleOutputAttribute(console, 7, 2000, origin, &written));
  EXPECT_TRUE(SetConsoleCursorPosition(console, origin));
}

TEST(ConsoleOutput, PlainTextInCallOrderWhenNotATerminal) {
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  std::string text;
  {
    Redirect output(1, pipeEnds[1]);
    ConsolePrintA("%d-%s|", 42, "narrow");
    ConsolePrintW(u"%s|%5d|%-3c|", u"wide \u00e9", 7, u'x');
    DrawLikeTheView();
    std::u16string longLine(3000, u'w');
    ConsolePrintW(u"%s\n", longLine.c_str());
  }
  close(pipeEnds[1]);
  text = ReadAvailable(pipeEnds[0]);
  close(pipeEnds[0]);
  EXPECT_EQ(text, "42-narrow|wide \xc3\xa9|    7|x  |" + std::string(3000, 'w') + "\n");
}

TEST(ConsoleOutput, VtSequencesOnATerminal) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  grantpt(master);
  unlockpt(master);
  int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
  {
    Redirect output(1, slave);
    DrawLikeTheView();
    COORD cell{5, 2};
    DWORD written;
    EXPECT_TRUE(
        FillConsoleOutputCharacterW(GetStdHandle(STD_OUTPUT_HANDLE), u'#', 80, cell, &written));
  }
  std::string text = ReadAvailable(master);
  close(slave);
  close(master);
  std::string blank =
      "\x1b"
      "7";
  for (int row = 1; row <= 25; ++row) blank += "\x1b[" + std::to_string(row) + ";1H\x1b[K";
  blank +=
      "\x1b"
      "8";
  std::string hashes =
      "\x1b"
      "7\x1b[3;6H" +
      std::string(75, '#') +
      "\x1b[4;1H#####\x1b"
      "8";
  EXPECT_EQ(text, blank + "\x1b[0m" + "\x1b[1;1H" + hashes);
}

TEST(MessageBox, WritesTheTextOnStandardErrorAndReturnsAtOnce) {
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  int answer;
  {
    Redirect error(2, pipeEnds[1]);
    answer = MessageBoxW(nullptr, u"Data array is out of memory!!", nullptr, MB_OK);
  }
  close(pipeEnds[1]);
  EXPECT_EQ(answer, 1);
  EXPECT_EQ(ReadAvailable(pipeEnds[0]), "Data array is out of memory!!\n");
  close(pipeEnds[0]);
}

}  // namespace
