#pragma once

// Opens a file with the desktop's handler and never waits for it: the desktop portal's
// OpenURI.OpenFile on the session bus when there is one, else (no bus, no portal, or a portal
// that refused or did not answer within kPortalTimeout) xdg-open in a child process, whose
// end is seen through a pidfd on the loop. The caller's turn ends as soon as the request is
// on its way; a failure, when the answer comes, goes to onProblem in words.
//
// A hung xdg-open holds nothing but its own slot: at most kMostPending openings wait at once,
// and one more is refused with a problem until one of them ends.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <list>
#include <string>

#include "posix/UniqueFd.h"
#include "runloop/SdBus.h"
#include "runloop/SdEventPtr.h"

namespace zezar {

class DesktopOpener {
 public:
  static constexpr std::chrono::seconds kPortalTimeout{5};
  static constexpr std::size_t kMostPending = 4;

  // io_pBus: the session bus attached to io_pEvent, or null to open one on first use.
  DesktopOpener(sd_event* io_pEvent, sd_bus* io_pBus,
                std::function<void(const std::string&)> i_onProblem);
  ~DesktopOpener();
  DesktopOpener(const DesktopOpener&) = delete;
  DesktopOpener& operator=(const DesktopOpener&) = delete;

  void Open(const std::filesystem::path& i_file);

 private:
  struct Pending;  // one opening under way: a portal call or an xdg-open child

  sd_bus* Bus();  // the session bus, or null when there is none
  bool AskPortal(Pending& io_pending);
  void RunXdgOpen(Pending& io_pending, const std::string& i_strPortalError);
  void Done(Pending& io_pending, const std::string& i_strProblem);
  static int OnPortalReply(sd_bus_message* i_pReply, void* i_pUserData, sd_bus_error*);
  static int OnChildEnded(sd_event_source*, int, uint32_t, void* i_pUserData);

  sd_event* m_pEvent;
  sd_bus* m_pBus;
  runloop::SdBusPtr m_ownBus;  // when none was given
  bool m_bTriedOwnBus = false;
  std::function<void(const std::string&)> m_onProblem;
  std::list<Pending> m_pending;
};

}  // namespace zezar
