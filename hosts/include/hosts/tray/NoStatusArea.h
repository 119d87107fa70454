#pragma once

// What the monitor says when no status area shows it for a while: that there is none, and on
// GNOME, whose shell has none of its own, what provides one.

#include <string>
#include <string_view>

#include "hosts/tray/NotificationPolicy.h"

namespace zezar {

// Whether $XDG_CURRENT_DESKTOP (a colon-separated list, "ubuntu:GNOME") names GNOME.
bool IsGnome(std::string_view i_strCurrentDesktop);

// The line for the log and the desktop notification, for the desktop named so.
std::string NoStatusAreaLine(std::string_view i_strCurrentDesktop);
Notice NoStatusAreaNotice(std::string_view i_strCurrentDesktop);

}  // namespace zezar
