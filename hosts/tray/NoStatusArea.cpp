#include "hosts/tray/NoStatusArea.h"

#include <strings.h>

#include "text/Translation.h"

namespace zezar {

bool IsGnome(std::string_view i_strCurrentDesktop) {
  while (!i_strCurrentDesktop.empty()) {
    const std::size_t colon = i_strCurrentDesktop.find(':');
    const std::string_view name = i_strCurrentDesktop.substr(0, colon);
    if (name.size() == 5 && strncasecmp(name.data(), "gnome", 5) == 0) return true;
    if (colon == std::string_view::npos) break;
    i_strCurrentDesktop.remove_prefix(colon + 1);
  }
  return false;
}

std::string NoStatusAreaLine(std::string_view i_strCurrentDesktop) {
  std::string line = "no status area on the session bus to show the router in; waiting for one";
  if (IsGnome(i_strCurrentDesktop)) {
    line +=
        " (on GNOME the AppIndicator extension provides one: Debian package "
        "gnome-shell-extension-appindicator)";
  }
  return line;
}

Notice NoStatusAreaNotice(std::string_view i_strCurrentDesktop) {
  Notice notice{.summary = text::Tr("No status area"),
                .body = text::Tr("There is no status area to show the router in; the monitor "
                                 "appears there as soon as one starts.")};
  if (IsGnome(i_strCurrentDesktop)) {
    notice.body += " ";
    notice.body += text::Tr(
        "On GNOME the AppIndicator extension provides one (Debian package "
        "gnome-shell-extension-appindicator).");
  }
  return notice;
}

}  // namespace zezar
