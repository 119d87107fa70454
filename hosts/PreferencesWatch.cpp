#include "PreferencesWatch.h"

#include <sys/inotify.h>

#include "tray/Safely.h"

namespace zezar {

namespace {

// What an editor's save, a removal or a replacement does to the file; the folder's own end.
constexpr uint32_t kFileEvents =
    IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE | IN_ATTRIB;
// sd-event's default (0) would let the settle time slip by up to a quarter second.
constexpr uint64_t kSettleAccuracyUs = 1000;
constexpr uint32_t kFolderGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT;

}  // namespace

PreferencesWatch::PreferencesWatch(sd_event* io_pEvent, std::filesystem::path i_file,
                                   std::function<void()> i_onChange)
    : m_pEvent(io_pEvent), m_file(std::move(i_file)), m_onChange(std::move(i_onChange)) {
  Watch();
}

bool PreferencesWatch::Watch() {
  const std::filesystem::path folder =
      m_file.has_parent_path() ? m_file.parent_path() : std::filesystem::path(".");
  sd_event_source* pSource = nullptr;
  if (sd_event_add_inotify(m_pEvent, &pSource, folder.c_str(),
                           kFileEvents | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR,
                           &PreferencesWatch::OnEvent, this) < 0) {
    return false;
  }
  m_watch.reset(pSource);
  sd_event_source_set_description(pSource, "preferences folder");
  return true;
}

void PreferencesWatch::Retry() {
  if (m_watch == nullptr && Watch()) Settle();  // what happened meanwhile is news
}

int PreferencesWatch::OnEvent(sd_event_source*, const struct inotify_event* i_pEvent,
                              void* i_pUserData) {
  auto* pSelf = static_cast<PreferencesWatch*>(i_pUserData);
  if ((i_pEvent->mask & kFolderGone) != 0) {
    pSelf->m_watch.reset();  // released inside its callback: sd-event holds it until it returns
    pSelf->Settle();
    return 0;
  }
  if ((i_pEvent->mask & IN_Q_OVERFLOW) != 0 ||
      (i_pEvent->len > 0 && pSelf->m_file.filename() == i_pEvent->name)) {
    pSelf->Settle();
  }
  return 0;
}

void PreferencesWatch::Settle() {
  if (m_settle != nullptr) return;  // the burst's first event set the time
  sd_event_source* pTimer = nullptr;
  if (sd_event_add_time_relative(m_pEvent, &pTimer, CLOCK_BOOTTIME,
                                 std::chrono::microseconds(kSettle).count(), kSettleAccuracyUs,
                                 &PreferencesWatch::OnSettled, this) < 0) {
    Safely("preferences", m_onChange);  // no timer: told at once rather than never
    return;
  }
  m_settle.reset(pTimer);
  sd_event_source_set_description(pTimer, "preferences settle");
}

int PreferencesWatch::OnSettled(sd_event_source*, uint64_t, void* i_pUserData) {
  auto* pSelf = static_cast<PreferencesWatch*>(i_pUserData);
  pSelf->m_settle.reset();
  Safely("preferences", pSelf->m_onChange);
  return 0;
}

}  // namespace zezar
