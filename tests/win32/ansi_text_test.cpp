// The ANSI bytes of what leaves the program (report lines, the shell's open
// request): exact where the code page holds each character, '?' where it
// does not, never a best-fit look-alike that would name another file.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32/win32_platform.h"
#include "win32/temp_tree.h"

namespace {

using escaner::win32::Win32Platform;

TEST(AnsiBytes, ExactInTheCodePageQuestionMarkOutsideItNeverALookAlike) {
  ASSERT_EQ(GetACP(), 1252u) << "the expected bytes are Windows-1252's";
  struct Case {
    const char* what;
    std::u16string text;
    std::string bytes;
  };
  const Case cases[] = {
      {"ASCII", u"C:\\Datos\\x.txt", "C:\\Datos\\x.txt"},
      {"code-page letters and signs", u"caf\u00E9 \u00D1 \u00FC \u20AC \u00AE",
       "caf\xE9 \xD1 \xFC \x80 \xAE"},
      {"A with macron, best fit A", u"\u0100b.txt", "?b.txt"},
      {"fullwidth f and a, best fit f and a", u"\uFF46ull\\\uFF41", "?ull\\?"},
      {"A with ring and acute", u"\u01FA.txt", "?.txt"},
      {"Cyrillic", u"\u0414\u0430\u0442\u0430", "????"},
      {"Greek and Han", u"\u03A9\u4E2D", "??"},
      {"fullwidth question mark and solidus", u"\uFF1F\uFF0F", "??"},
      {"no-break space stays itself", u"a\u00A0b",
       "a\xA0"
       "b"},
      {"empty", u"", ""},
  };
  Win32Platform platform;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(std::string(platform.AnsiBytes(c.text)), c.bytes);
  }
  // A character outside the basic plane (two UTF-16 units) is never taken
  // for a character of the code page either.
  const std::string astral(platform.AnsiBytes(u"x\U0001F600y"));
  EXPECT_EQ(astral.front(), 'x');
  EXPECT_EQ(astral.back(), 'y');
  EXPECT_EQ(astral.substr(1, astral.size() - 2).find_first_not_of('?'), std::string::npos)
      << astral;
}

// Long texts convert whole, and a shorter one after them is not padded with
// what the longer left behind.
TEST(AnsiBytes, ConvertsLongTextsWholeAndReusesItsBuffer) {
  Win32Platform platform;
  const std::u16string longPath = u"T:\\" + std::u16string(3000, u'\u00E9') + u"\\\u0100";
  const std::string expected = "T:\\" + std::string(3000, '\xE9') + "\\?";
  EXPECT_EQ(std::string(platform.AnsiBytes(longPath)), expected);
  EXPECT_EQ(std::string(platform.AnsiBytes(u"a")), "a");
}

}  // namespace
