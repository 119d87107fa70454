// The menu: one disabled item per online channel's address, then the commands the login and
// the user's preferences allow. Each command sends one request and rebuilds the menu.

#include "appkit/NSMenu.h"
#include "menuextra/menubarThingy.h"
#include "menuextra/menubarThingyView.h"
#include "text/MacRoman.h"

NSMenu* ZezarIZIDezev::menu() {
  if (!theMenu) return nullptr;  // unloaded: nothing to show, nobody to ask
  while (theMenu->numberOfItems() != 0) theMenu->removeItemAtIndex(0);

  if (!globalZastra->IsConnected()) connect();
  if (globalZastra->IsConnected()) {
    int channels_online = 0;
    for (long i = 0; i < theNumChannels; ++i) {
      // Asked per index, never past the list's end: an empty list is not asked for again
      // when there is no index to examine.
      const std::vector<Zastra::Channel*>& channels = globalZastra->GetChannels();
      if (static_cast<std::size_t>(i) >= channels.size()) break;
      Zastra::Channel& channel = *channels[static_cast<std::size_t>(i)];
      if (channel.Status() != Zastra::Channel::Online) continue;
      const std::string IPname = text::MacRomanToUtf8(channel.IP());
      NSMenuItem* aItem =
          theMenu->addItemWithTitleActionKeyEquivalent(IPname, &ZezarIZIDezev::IPselected, "");
      aItem->setEnabled(false);
      ++channels_online;
    }

    const auto addCommand = [this](const char* i_pTitle, NSMenuItem::Action i_action) {
      theMenu->addItemWithTitleActionKeyEquivalent(i_pTitle, std::move(i_action), "")
          ->setTarget(this);
    };
    if (channels_online > 0) {
      // Only while a channel is still free; with every channel online neither is offered.
      if (theAddLinkAllowed && theNumChannels > channels_online) {
        addCommand("Add Link", &ZezarIZIDezev::addlink);
        if (channels_online > 1) addCommand("Remove Link", &ZezarIZIDezev::removelink);
      }
      if (theDialAllowed) addCommand("Hang up", &ZezarIZIDezev::hangup);
    } else if (theDialAllowed) {
      addCommand("Dial", &ZezarIZIDezev::dial);
    }
    if (theRebootAllowed && theRebootEnabled) addCommand("Reboot", &ZezarIZIDezev::cmd_reboot);
    if (theHaltAllowed && theHaltEnabled) addCommand("Halt", &ZezarIZIDezev::cmd_halt);
  }

  theView->setNeedsDisplay(true);
  return theMenu.get();
}

void ZezarIZIDezev::IPselected(NSMenuItem*) {}

void ZezarIZIDezev::SendCommand(void (Zastra::*i_command)()) {
  (globalZastra->*i_command)();  // the answer is not shown: the rebuilt menu tells
  menu();
}

void ZezarIZIDezev::hangup(NSMenuItem*) { SendCommand(&Zastra::Hangup); }
void ZezarIZIDezev::dial(NSMenuItem*) { SendCommand(&Zastra::Dial); }
void ZezarIZIDezev::cmd_reboot(NSMenuItem*) { SendCommand(&Zastra::Reboot); }
void ZezarIZIDezev::cmd_halt(NSMenuItem*) { SendCommand(&Zastra::Halt); }
void ZezarIZIDezev::addlink(NSMenuItem*) { SendCommand(&Zastra::AddLink); }
void ZezarIZIDezev::removelink(NSMenuItem*) { SendCommand(&Zastra::RemoveLink); }
