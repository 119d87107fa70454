#include "text/MacRoman.h"

#include <gtest/gtest.h>

namespace zezar_test {
namespace {

using text::MacRomanToUtf8;
using text::Utf8ToMacRoman;

TEST(MacRoman, RoundTripsEveryByte) {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  const std::string text = MacRomanToUtf8(bytes);
  EXPECT_EQ(Utf8ToMacRoman(text), bytes);
}

TEST(MacRoman, MapsKnownCharacters) {
  struct Row {
    std::string bytes;
    std::string utf8;
  } rows[] = {
      {"plain 1.2.3", "plain 1.2.3"},
      {"\x80", "\xC3\x84"},      // Ä
      {"\x8A", "\xC3\xA4"},      // ä
      {"\xA7", "\xC3\x9F"},      // ß
      {"\xA5", "\xE2\x80\xA2"},  // bullet
      {"\xDB", "\xE2\x82\xAC"},  // euro sign
      {"\xCA", "\xC2\xA0"},      // no-break space
      {"\xFF", "\xCB\x87"},      // caron
      {std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.utf8);
    EXPECT_EQ(MacRomanToUtf8(row.bytes), row.utf8);
    EXPECT_EQ(Utf8ToMacRoman(row.utf8), row.bytes);
  }
}

TEST(MacRoman, ReportsTextWithNoMacRomanForm) {
  for (const std::string& text : {std::string("\xC5\x81"),          // Ł
                                  std::string("\xE4\xB8\xAD"),      // a CJK character
                                  std::string("\xF0\x9F\x98\x80"),  // an emoji
                                  std::string("\xC3"),              // cut short
                                  std::string("\xC0\x80"),          // overlong NUL
                                  std::string("\xED\xA0\x80"),      // a surrogate
                                  std::string("\xFF")}) {
    EXPECT_EQ(Utf8ToMacRoman("ok " + text), std::nullopt);
  }
}

}  // namespace
}  // namespace zezar_test
