// The menu: one disabled item per online channel's address, then the commands the login and
// the user's preferences allow. Each command sends one request and rebuilds the menu.

#include "appkit/NSMenu.h"
#include "menuextra/menubarThingy.h"
#include "menuextra/menubarThingyView.h"
#include "text/MacRoman.h"
#include "text/Translation.h"

NSMenu* ZezarIZIDezev::menu() {
  if (!theMenu) return nullptr;  // unloaded: nothing to show, nobody to ask
  while (theMenu->numberOfItems() != 0) theMenu->removeItemAtIndex(0);

  if (!globalZastra->IsConnected() && !theAsleep) connect();  // asleep: no network to use
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

    if (channels_online > 0) {
      // Only while a channel is still free; with every channel online neither is offered.
      if (theAddLinkAllowed && theNumChannels > channels_online) {
        addCommand(router::kAddLink, &ZezarIZIDezev::addlink);
        if (channels_online > 1) addCommand(router::kRemoveLink, &ZezarIZIDezev::removelink);
      }
      if (theDialAllowed) addCommand(router::kHangup, &ZezarIZIDezev::hangup);
    } else if (theDialAllowed) {
      addCommand(router::kDial, &ZezarIZIDezev::dial);
    }
    if (theRebootAllowed && theRebootEnabled)
      addCommand(router::kReboot, &ZezarIZIDezev::cmd_reboot);
    if (theHaltAllowed && theHaltEnabled) addCommand(router::kHalt, &ZezarIZIDezev::cmd_halt);
  }

  theView->setNeedsDisplay(true);
  return theMenu.get();
}

void ZezarIZIDezev::IPselected(NSMenuItem*) {}

void ZezarIZIDezev::addCommand(const router::Command& i_command, NSMenuItem::Action i_action) {
  NSMenuItem* pItem = theMenu->addItemWithTitleActionKeyEquivalent(text::Tr(i_command.title),
                                                                   std::move(i_action), "");
  pItem->setTarget(this);
  pItem->setTag(router::TagOf(i_command));
}

void ZezarIZIDezev::SendCommand(const router::Command& i_command) {
  (globalZastra->*i_command.send)();  // the answer is not shown: the rebuilt menu tells
  menu();
}

void ZezarIZIDezev::hangup(NSMenuItem*) { SendCommand(router::kHangup); }
void ZezarIZIDezev::dial(NSMenuItem*) { SendCommand(router::kDial); }
void ZezarIZIDezev::cmd_reboot(NSMenuItem*) { SendCommand(router::kReboot); }
void ZezarIZIDezev::cmd_halt(NSMenuItem*) { SendCommand(router::kHalt); }
void ZezarIZIDezev::addlink(NSMenuItem*) { SendCommand(router::kAddLink); }
void ZezarIZIDezev::removelink(NSMenuItem*) { SendCommand(router::kRemoveLink); }
