// The UTF-16 formatter and conversions every backend's text goes through.
#include <gtest/gtest.h>

#include "platform/wide_text.h"
#include "tests/unit/program_state.h"

namespace {

TEST(WideText, FormatsTheConversionsTheProgramUses) {
  WCHAR out[64];
  FormatTextW(out, 64, u"[%-03d][%08X][%-04d][%08x][%s][%d%%]", 7, 0x1FA4u, 12, 0xC000013Au,
              u"name", -5);
  EXPECT_EQ(Narrow(out), "[7  ][00001FA4][12  ][c000013a][name][-5%]");
  FormatTextW(out, 64, u"[%5d][%-5s][%05d][%u]", 42, u"ab", -42, 4294967295u);
  EXPECT_EQ(Narrow(out), "[   42][ab   ][-0042][4294967295]");
}

TEST(WideText, FormattingCutsToTheBufferAndTerminates) {
  WCHAR out[6];
  EXPECT_EQ(FormatTextW(out, 6, u"%s", u"abcdefgh"), 5u);
  EXPECT_EQ(Narrow(out), "abcde");
}

TEST(WideText, ConversionsReplaceWhatIsInvalidAndNeverSplitACharacter) {
  EXPECT_EQ(Narrow(Wide("a\xff"
                        "b\xc3")
                       .c_str()),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
  const WCHAR lone[] = {u'x', 0xD800, u'y', 0};
  EXPECT_EQ(Narrow(lone), "x\xEF\xBF\xBDy");
  EXPECT_EQ(Wide("\xF0\x9F\x98\x80").size(), 2u) << "a surrogate pair";
  EXPECT_EQ(Narrow(Wide("\xF0\x9F\x98\x80").c_str()), "\xF0\x9F\x98\x80");

  char small[4];
  EXPECT_EQ(Utf16ToUtf8(u"a€", small, sizeof(small)), 4u) << "the length the text needs";
  EXPECT_STREQ(small, "a") << "the euro sign does not fit whole";
}

}  // namespace
