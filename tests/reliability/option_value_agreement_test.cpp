// The option value conversion against the C library's strtoul itself, read
// as a 32-bit unsigned long, over values at the edges of its rules.
#include <gtest/gtest.h>

#include <string>

#include "control/command_line.h"
#include "tests/reliability/strtoul32.h"
#include "tests/unit/program_state.h"

namespace {

const char* const OddValues[] = {
    // signs and white space
    "+7", "-7", "--7", "+-7", "-+7", " -7", "\t\n\v\f\r 7", "- 7", "+", "-", " ", "", "-0", "  +0",
    "\x1c"
    "5",
    "\xa0"
    "5",
    // base-16 words: "0x" prefixes, signs, cut prefixes, no prefix
    "0x", "0X", "0x1f", "0X1F", "0x0x1", "0xg", "0x-1", "0x+1", "0x 1", "7x", "7X", "fx", "Fx1",
    "ax10", "gx1", " x1", "-x1", "+x1", "xx", "0xffffffff", "0x100000000", "0xFFFFFFFFFFFFFFFF",
    "0x10000000000000000", "0x00000000000000000001", "1xfffffffff",
    // base 10 with what a base-16 reading would take
    "0x1e0", " 0x1e", "-0x1e", "1e3", "08", "09", "0b101", "1f",
    // overflow at the 32- and 64-bit edges, with and without a sign
    "4294967295", "4294967296", "-4294967295", "-4294967296", "+4294967296", "18446744073709551615",
    "18446744073709551616", "-18446744073709551615", "-18446744073709551616",
    "99999999999999999999999999999", "-1", "-2147483648", "2147483648",
    "000000000000000000000000004294967295", "4294967295 ", "42abc", "4 2"};

TEST(OptionValueAgreement, MatchesStrtoulWith32BitUnsignedLong) {
  for (const char* text : OddValues) {
    const std::u16string wide = Wide(text);
    EXPECT_EQ(ConvertOptionValue(wide.c_str()), Strtoul32(text, OptionValueBase(text)))
        << "value \"" << text << "\"";
  }
}

}  // namespace
