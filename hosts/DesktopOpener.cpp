#include "DesktopOpener.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "text/Translation.h"
#include "tray/Safely.h"

extern char** environ;

namespace zezar {

struct DesktopOpener::Pending {
  DesktopOpener* pOwner;
  std::filesystem::path file;
  runloop::SdBusSlotPtr call;  // the portal's answer, awaited
  pid_t child = -1;            // xdg-open, until it is reaped
  posix::UniqueFd childEnd;    // its pidfd, readable once it has ended
  runloop::SdEventSourcePtr childWatch;
};

DesktopOpener::DesktopOpener(sd_event* io_pEvent, sd_bus* io_pBus,
                             std::function<void(const std::string&)> i_onProblem)
    : m_pEvent(io_pEvent), m_pBus(io_pBus), m_onProblem(std::move(i_onProblem)) {}

DesktopOpener::~DesktopOpener() {
  // A child still running is left to finish on its own; reaped now if it already has.
  for (Pending& pending : m_pending)
    if (pending.child > 0) ::waitpid(pending.child, nullptr, WNOHANG);
}

void DesktopOpener::Open(const std::filesystem::path& i_file) {
  if (m_pending.size() >= kMostPending) {
    m_onProblem(text::Format(text::Tr("cannot open {1}: {2} earlier openings have not finished"),
                             {i_file.string(), std::to_string(m_pending.size())}));
    return;
  }
  Pending& pending = m_pending.emplace_back(Pending{this, i_file, nullptr, -1, {}, nullptr});
  if (!AskPortal(pending)) RunXdgOpen(pending, "");
}

sd_bus* DesktopOpener::Bus() {
  if (m_pBus != nullptr || m_bTriedOwnBus) return m_pBus;
  m_bTriedOwnBus = true;
  sd_bus* pBus = nullptr;
  if (sd_bus_open_user(&pBus) < 0) return nullptr;
  m_ownBus.reset(pBus);
  if (sd_bus_attach_event(pBus, m_pEvent, SD_EVENT_PRIORITY_NORMAL) < 0) {
    m_ownBus.reset();
    return nullptr;
  }
  m_pBus = pBus;
  return m_pBus;
}

bool DesktopOpener::AskPortal(Pending& io_pending) {
  sd_bus* pBus = Bus();
  if (pBus == nullptr) return false;
  // The portal takes the file as a descriptor: it hands the handler the file we mean.
  const posix::UniqueFd file(::open(io_pending.file.c_str(), O_PATH | O_CLOEXEC));
  if (!file) return false;
  sd_bus_message* pCall = nullptr;
  int r = sd_bus_message_new_method_call(pBus, &pCall, "org.freedesktop.portal.Desktop",
                                         "/org/freedesktop/portal/desktop",
                                         "org.freedesktop.portal.OpenURI", "OpenFile");
  const runloop::SdBusMessagePtr call(pCall);
  if (r >= 0) r = sd_bus_message_append(pCall, "sh", "", file.get());
  if (r >= 0) r = sd_bus_message_append(pCall, "a{sv}", 0);
  sd_bus_slot* pSlot = nullptr;
  if (r >= 0) {
    r = sd_bus_call_async(pBus, &pSlot, pCall, &DesktopOpener::OnPortalReply, &io_pending,
                          std::chrono::microseconds(kPortalTimeout).count());
  }
  if (r < 0) return false;
  io_pending.call.reset(pSlot);
  return true;
}

int DesktopOpener::OnPortalReply(sd_bus_message* i_pReply, void* i_pUserData, sd_bus_error*) {
  auto& pending = *static_cast<Pending*>(i_pUserData);
  Safely("preferences", [&] {
    // The answer is a request handle; what the user picks in the chooser is the desktop's.
    const sd_bus_error* pError = sd_bus_message_get_error(i_pReply);
    if (pError == nullptr) {
      pending.pOwner->Done(pending, "");
    } else {
      pending.pOwner->RunXdgOpen(pending,
                                 pError->message != nullptr ? pError->message : pError->name);
    }
  });
  return 0;
}

void DesktopOpener::RunXdgOpen(Pending& io_pending, const std::string& i_strPortalError) {
  io_pending.call.reset();  // inside its callback sd-bus keeps the slot alive
  const auto failed = [&](const std::string& i_strWhy) {
    std::string strWhy = i_strWhy;
    if (!i_strPortalError.empty()) strWhy += "; portal: " + i_strPortalError;
    Done(io_pending,
         text::Format(text::Tr("cannot open {1}: {2}"), {io_pending.file.string(), strWhy}));
  };
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  const std::string strFile = io_pending.file.string();
  char* argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(strFile.c_str()), nullptr};
  pid_t child = -1;
  const int r = posix_spawnp(&child, "xdg-open", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (r != 0) {
    failed(std::string("xdg-open: ") + std::strerror(r));
    return;
  }
  io_pending.child = child;
  // Not yet reaped, the child keeps its pid: the pidfd names it and no other.
  io_pending.childEnd.reset(static_cast<int>(::syscall(SYS_pidfd_open, child, 0)));
  sd_event_source* pSource = nullptr;
  if (!io_pending.childEnd ||
      sd_event_add_io(m_pEvent, &pSource, io_pending.childEnd.get(), EPOLLIN,
                      &DesktopOpener::OnChildEnded, &io_pending) < 0) {
    // Not watched: reaped when the program ends, its failure untold.
    io_pending.child = -1;
    Done(io_pending, "");
    return;
  }
  io_pending.childWatch.reset(pSource);
  sd_event_source_set_description(pSource, "xdg-open");
}

int DesktopOpener::OnChildEnded(sd_event_source*, int, uint32_t, void* i_pUserData) {
  auto& pending = *static_cast<Pending*>(i_pUserData);
  Safely("preferences", [&] {
    int status = 0;
    if (::waitpid(pending.child, &status, WNOHANG) == 0) return;  // not yet after all
    pending.child = -1;
    std::string strProblem;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      // xdg-open's own statuses: 3 no handler, 4 the handler failed.
      strProblem = text::Format(
          text::Tr("cannot open {1}: xdg-open ended with status {2}"),
          {pending.file.string(),
           std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status))});
    }
    pending.pOwner->Done(pending, strProblem);
  });
  return 0;
}

void DesktopOpener::Done(Pending& io_pending, const std::string& i_strProblem) {
  // The callback that called this holds its source or slot until it returns: released here,
  // they are only disabled until then.
  const std::string strProblem = i_strProblem;
  for (auto it = m_pending.begin(); it != m_pending.end(); ++it) {
    if (&*it == &io_pending) {
      m_pending.erase(it);
      break;
    }
  }
  if (!strProblem.empty()) m_onProblem(strProblem);
}

}  // namespace zezar
