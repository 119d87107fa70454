// What the monitor says when no status area shows it.

#include "hosts/tray/NoStatusArea.h"

#include <gtest/gtest.h>

namespace zezar_test {
namespace {

TEST(TheNoStatusAreaNotice, NamesTheExtensionOnGnomeOnly) {
  const struct {
    const char* desktop;
    bool gnome;
  } rows[] = {{"GNOME", true},         {"ubuntu:GNOME", true}, {"GNOME-Classic:GNOME", true},
              {"gnome", true},         {"", false},            {"KDE", false},
              {"XFCE", false},         {"GNOMEish", false},    {"X-GNOME-Like:Unity", false},
              {"::GNOME:", true}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.desktop);
    EXPECT_EQ(zezar::IsGnome(row.desktop), row.gnome);
    const zezar::Notice notice = zezar::NoStatusAreaNotice(row.desktop);
    EXPECT_EQ(notice.summary, "No status area");
    EXPECT_EQ(notice.body.find("gnome-shell-extension-appindicator") != std::string::npos,
              row.gnome);
    EXPECT_EQ(
        zezar::NoStatusAreaLine(row.desktop).find("gnome-shell-extension-appindicator") !=
            std::string::npos,
        row.gnome);
  }
}

}  // namespace
}  // namespace zezar_test
