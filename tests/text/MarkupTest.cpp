#include "text/Markup.h"

#include <gtest/gtest.h>

namespace zezar_test {
namespace {

TEST(MarkupText, ShowsAsItsOwnCharactersNeverAsMarkup) {
  struct Row {
    const char* name;
    std::string in;
    std::string out;
  } rows[] = {
      {"plain", "In 43% (1.2 kB/s)", "In 43% (1.2 kB/s)"},
      {"a tag", "<b>10.0.0.1</b>", "&lt;b&gt;10.0.0.1&lt;/b&gt;"},
      {"an entity stays text", "&amp; & &#60;", "&amp;amp; &amp; &amp;#60;"},
      {"quotes need nothing outside attributes", "\"a\" 'b'", "\"a\" 'b'"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(text::EscapeMarkup(row.in), row.out);
  }
}

}  // namespace
}  // namespace zezar_test
