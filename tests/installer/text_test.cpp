#include "installer/text.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/installer/unicode_data.h"

namespace setup {
namespace {

TEST(LowerCase, MapsCodePointsAndKeepsMalformedBytes) {
  struct Case {
    std::string_view given;
    std::string_view expected;
  };
  const Case cases[] = {
      {"", ""},
      {"C:\\Data\\Std\\PythonPartsScripts", "c:\\data\\std\\pythonpartsscripts"},
      {"\xC3\x89T\xC3\x89", "\xC3\xA9t\xC3\xA9"},                // ÉTÉ
      {"\xC4\xB0", "i"},                                         // U+0130 shrinks to one byte
      {"\xE2\x84\xAA", "k"},                                     // KELVIN SIGN, three bytes to one
      {"\xE2\x84\xA6", "\xCF\x89"},                              // OHM SIGN to omega
      {"\xCE\xA3\xCE\x9F\xCE\xA6", "\xCF\x83\xCE\xBF\xCF\x86"},  // Greek, no final-sigma rule
      {"\xC3\x9F", "\xC3\x9F"},                                  // ß has no simple lower case
      {"\xF0\x90\x90\x80", "\xF0\x90\x90\xA8"},                  // Deseret, four bytes
      {"\xC4\x80\xC4\x81\xC4\x82", "\xC4\x81\xC4\x81\xC4\x83"},  // alternating upper, lower
      {"A\xFF"
       "B\xC3",
       "a\xFF"
       "b\xC3"},                           // malformed bytes stay
      {"\xC0\x81Z", "\xC0\x81z"},          // overlong form stays as bytes
      {"\xED\xA0\x80X", "\xED\xA0\x80x"},  // encoded surrogate stays
  };
  for (const Case& c : cases) {
    EXPECT_EQ(toLowerUnicode(c.given), c.expected) << c.given;
  }
}

// The table is generated in compact runs; every code point must still map as
// the character database says.
TEST(LowerCase, AgreesWithTheCharacterDatabaseEverywhere) {
  std::size_t mappings = 0;
  const std::vector<char32_t> expected = readSimpleLowerCase(SETUP_UNICODE_DATA, &mappings);
  ASSERT_FALSE(expected.empty()) << SETUP_UNICODE_DATA;
  EXPECT_GT(mappings, 1000u);
  for (char32_t c = 0; c < expected.size(); ++c) {
    ASSERT_EQ(std::uint32_t(lowerCodePoint(c)), std::uint32_t(expected[c]))
        << std::hex << std::uint32_t(c);
  }
}

TEST(Replace, PlainAndWholeWord) {
  struct Case {
    std::string_view text, from, to;
    std::string_view plain, wholeWord;
  };
  const Case cases[] = {
      {"Bestellliste_de.xml", "Bestellliste", "Liste de commande", "Liste de commande_de.xml",
       "Bestellliste_de.xml"},
      {"a.b a", "a", "xa", "xa.b xa", "xa.b xa"},  // inserted text is not searched again
      {"aaa", "aa", "b", "ba", "aaa"},             // no overlaps; "aa" is inside a word
      {"x-aa-aa", "aa", "b", "x-b-b", "x-b-b"},
      {"text", "", "z", "text", "text"},  // an empty pattern changes nothing
      {"", "a", "b", "", ""},
      {"<Name>MELDRA\\vesk.py</Name>", "MELDRA\\vesk.py", "X\\vesk.py", "<Name>X\\vesk.py</Name>",
       "<Name>X\\vesk.py</Name>"},
      // Word bytes are letters, digits, "_" and every byte from 0x80.
      {"_MELDRA\\vesk.py", "MELDRA\\vesk.py", "R", "_R", "_MELDRA\\vesk.py"},
      {"MELDRA\\vesk.py2", "MELDRA\\vesk.py", "R", "R2", "MELDRA\\vesk.py2"},
      {"\xC3\xA9MELDRA\\vesk.py", "MELDRA\\vesk.py", "R", "\xC3\xA9R", "\xC3\xA9MELDRA\\vesk.py"},
      {"MELDRA\\vesk.py.bak", "MELDRA\\vesk.py", "R", "R.bak", "R.bak"},
      // A refused occurrence resumes one byte after its start.
      {"aba ba", "ba", "X", "aX X", "aba X"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(replaceAll(c.text, c.from, c.to), c.plain) << c.text;
    EXPECT_EQ(replaceWholeWords(c.text, c.from, c.to), c.wholeWord) << c.text;
  }
}

TEST(Utf16, RoundTripsAndReplacesUnpairedSurrogates) {
  const std::string text = "Priv\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80";
  EXPECT_EQ(utf16ToUtf8(utf8ToUtf16(text)), text);
  EXPECT_EQ(utf8ToUtf16(text), u"Privé € \U0001F600");
  EXPECT_EQ(utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"a"),
            "\xEF\xBF\xBD"
            "a");
  EXPECT_EQ(utf16ToUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
  EXPECT_EQ(utf8ToUtf16("\xFF"), std::u16string(1, char16_t(0xFFFD)));
}

TEST(Quoted, EscapesWhatWouldBeAmbiguous) {
  EXPECT_EQ(quoted("C:\\a b\\c.txt"), "\"C:\\\\a b\\\\c.txt\"");
  EXPECT_EQ(quoted("it's \"x\"\n\t\r\x01\x7F\xC3\xA9"),
            "\"it\\'s \\\"x\\\"\\n\\t\\r\\x01\\x7F\xC3\xA9\"");
}

}  // namespace
}  // namespace setup
