// Fuzz entry for the command line: the input's bytes are UTF-16 units
// (little-endian), a zero unit ends each word. Every word also goes through
// the option value conversion, which must agree with the C library's
// strtoul (32-bit unsigned long) wherever the word is ASCII. The words then
// go through the parser on the simulated platform: a refusal must end with
// the usage text and code 255, an accepted line must print nothing and set
// the settings from the last occurrence of each option, and the parser must
// accept exactly the lines made of known options with their values.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "control/command_line.h"
#include "control/settings.h"
#include "tests/reliability/strtoul32.h"
#include "tests/sim/sim.h"

namespace {

constexpr std::size_t MostWords = 64;

std::vector<std::u16string> Words(const std::uint8_t* data, std::size_t size) {
  std::vector<std::u16string> words(1);
  for (std::size_t i = 0; i + 1 < size && words.size() <= MostWords; i += 2) {
    const char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (unit == 0)
      words.emplace_back();
    else
      words.back().push_back(unit);
  }
  if (words.back().empty()) words.pop_back();
  return words;
}

bool SameIgnoringAsciiCase(const std::u16string& word, const char* option) {
  std::size_t i = 0;
  for (; option[i] != 0; ++i) {
    if (i >= word.size()) return false;
    char16_t c = word[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c != static_cast<unsigned char>(option[i])) return false;
  }
  return i == word.size();
}

[[noreturn]] void Fault(const char* what, const std::u16string& word) {
  std::fprintf(stderr, "command_line_fuzz: %s; word:", what);
  for (char16_t unit : word) std::fprintf(stderr, " %04x", static_cast<unsigned>(unit));
  std::fprintf(stderr, "\n");
  std::abort();
}

void CheckConversion(const std::u16string& word) {
  const DWORD value = ConvertOptionValue(reinterpret_cast<const WCHAR*>(word.c_str()));
  std::string narrow;
  for (char16_t unit : word) {
    if (unit >= 0x80) return;  // strtoul reads narrow text only
    narrow.push_back(static_cast<char>(unit));
  }
  if (value != Strtoul32(narrow.c_str(), OptionValueBase(narrow.c_str())))
    Fault("value conversion differs from strtoul", word);
}

struct Outcome {
  bool accepted = true;
  DWORD checkTimer = 1, dumpTimer = 5, dumpNumber = 20;
  bool debug = false;
};

// What the line must give: options and their values only, the value being
// whatever word follows its option.
Outcome Expected(const std::vector<std::u16string>& words) {
  Outcome outcome;
  for (std::size_t i = 1; i < words.size(); ++i) {
    const std::u16string& word = words[i];
    DWORD* setting = SameIgnoringAsciiCase(word, "-ct")   ? &outcome.checkTimer
                     : SameIgnoringAsciiCase(word, "-dt") ? &outcome.dumpTimer
                     : SameIgnoringAsciiCase(word, "-dn") ? &outcome.dumpNumber
                                                          : nullptr;
    if (setting != nullptr) {
      if (++i == words.size()) return Outcome{false};
      *setting = ConvertOptionValue(reinterpret_cast<const WCHAR*>(words[i].c_str()));
    } else if (SameIgnoringAsciiCase(word, "-d")) {
      outcome.debug = true;
    } else {
      return Outcome{false};
    }
  }
  return outcome;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A refusal after -d waits for a key unless a stop was asked.
  static const bool prepared = (sim::RequestStop(), true);
  static_cast<void>(prepared);

  std::vector<std::u16string> words = Words(data, size);
  words.insert(words.begin(), u"Tolvane.exe");
  for (std::size_t i = 1; i < words.size(); ++i) CheckConversion(words[i]);

  CheckTimer = 1;
  DumpTimer = 5;
  DumpNumber = 20;
  blDebug = FALSE;
  sim::ClearOutput();
  std::vector<WCHAR*> argv;
  for (std::u16string& word : words) argv.push_back(reinterpret_cast<WCHAR*>(word.data()));
  argv.push_back(nullptr);

  const Outcome expected = Expected(words);
  bool refused = false;
  try {
    ParseCommandLine(static_cast<int>(words.size()), argv.data());
  } catch (const sim::ProgramExit& exit) {
    refused = true;
    if (exit.code != 255) Fault("a refusal ended with a code other than 255", words.back());
  }
  const std::string out = sim::Output();
  if (refused) {
    if (expected.accepted) Fault("a line of known options was refused", words.back());
    if (out.find("\nTolvane.EXE <-Sw1>") == std::string::npos ||
        !EndsWith(out, "\nReturn_Code=255\n"))
      Fault("a refusal without the usage text and its code", words.back());
  } else {
    if (!expected.accepted) Fault("a line with an unknown word was accepted", words.back());
    if (!out.empty()) Fault("an accepted line printed something", words.back());
    if (CheckTimer != expected.checkTimer || DumpTimer != expected.dumpTimer ||
        DumpNumber != expected.dumpNumber || (blDebug != FALSE) != expected.debug)
      Fault("the settings are not those of the last options", words.back());
  }
  return 0;
}
