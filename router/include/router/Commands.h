#pragma once

// The commands that change a router's connections or run state, each once: its stable name
// (zezarctl's word, and what the timeline keeps as a cause), the menu's title, the client's
// call that sends it, the permission it needs, and what it does to the link. A new command is
// one row here, its call in the client, and its test.

#include <array>
#include <map>
#include <string>
#include <string_view>

#include "client/Zastra.h"
#include "text/Translation.h"

namespace router {

struct Command {
  // What the router's connection does when the command has taken effect.
  enum class Effect {
    ChannelsUp,     // a channel comes online
    ChannelsDown,   // a channel goes offline
    Drop,           // the router goes away
    DropAndReturn,  // the router goes away and comes back
  };

  std::string_view name;        // never translated, never shown as a title
  const char* title;            // the menu's, in English: the message id of its translations
  const char* description;      // zezarctl's help, in English likewise
  void (Zastra::*send)();       // the call that sends it; the router's answer is not passed on
  std::string_view permission;  // the word of the router's is-allowed question
  bool (Zastra::*allowed)();    // the client's question for that permission
  Effect effect;

  // The router goes away with it: a person is asked first.
  bool Disruptive() const { return effect == Effect::Drop || effect == Effect::DropAndReturn; }
};

inline constexpr std::array<Command, 6> kCommands{{
    {"dial", N_("Dial"), N_("dial"), &Zastra::Dial, "dial", &Zastra::IsDialAllowed,
     Command::Effect::ChannelsUp},
    {"hangup", N_("Hang up"), N_("hang up"), &Zastra::Hangup, "dial", &Zastra::IsDialAllowed,
     Command::Effect::ChannelsDown},
    {"addlink", N_("Add Link"), N_("add a link on the current route"), &Zastra::AddLink, "addlink",
     &Zastra::IsAddLinkAllowed, Command::Effect::ChannelsUp},
    {"removelink", N_("Remove Link"), N_("remove a link from the current route"),
     &Zastra::RemoveLink, "addlink", &Zastra::IsAddLinkAllowed, Command::Effect::ChannelsDown},
    {"reboot", N_("Reboot"), N_("reboot the router"), &Zastra::Reboot, "reboot",
     &Zastra::IsRebootAllowed, Command::Effect::DropAndReturn},
    {"halt", N_("Halt"), N_("halt the router"), &Zastra::Halt, "halt", &Zastra::IsHaltAllowed,
     Command::Effect::Drop},
}};

inline constexpr const Command& kDial = kCommands[0];
inline constexpr const Command& kHangup = kCommands[1];
inline constexpr const Command& kAddLink = kCommands[2];
inline constexpr const Command& kRemoveLink = kCommands[3];
inline constexpr const Command& kReboot = kCommands[4];
inline constexpr const Command& kHalt = kCommands[5];

// Whether the connection's login has each of them: one is-allowed question each.
std::map<std::string, bool> AskPermissions(Zastra& io_client);

// The command of that name, or null.
const Command* FindCommand(std::string_view i_name);
// A menu item's tag for the command (1 and up; 0 is no command), and back.
int TagOf(const Command& i_command);
const Command* CommandOfTag(int i_iTag);

}  // namespace router
