#include "text/Printable.h"

#include <gtest/gtest.h>

namespace zezar_test {
namespace {

TEST(PrintableText, ReplacesWhatCouldSteerATerminalOrBreakUtf8) {
  const std::string r = "\xEF\xBF\xBD";  // U+FFFD
  struct Row {
    const char* name;
    std::string in;
    std::string out;
  } rows[] = {
      {"plain", "10.0.0.1 Hang up", "10.0.0.1 Hang up"},
      {"letters beyond ASCII", "r\xC3\xA4ume \xE2\x82\xAC \xF0\x9F\x93\xA1",
       "r\xC3\xA4ume \xE2\x82\xAC \xF0\x9F\x93\xA1"},
      {"a retitling and clearing sequence", "\x1b]0;TITLE\x07\x1b[2J10.6.6.6",
       r + "]0;TITLE" + r + r + "[2J10.6.6.6"},
      {"C0 controls, NUL and DEL", std::string("a\0b\tc\nd\x7f", 8),
       "a" + r + "b" + r + "c" + r + "d" + r},
      {"C1 controls (CSI as U+009B)",
       "\xC2\x9B"
       "31m\xC2\x85",
       r + "31m" + r},
      {"a stray continuation byte", "a\x80z", "a" + r + "z"},
      {"a cut sequence", "a\xE2\x82", "a" + r + r},
      {"an overlong form", "\xC0\xAF", r + r},
      {"a surrogate", "\xED\xA0\x80", r + r + r},
      {"past U+10FFFF", "\xF4\x90\x80\x80", r + r + r + r},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(text::Printable(row.in), row.out);
  }
}

}  // namespace
}  // namespace zezar_test
