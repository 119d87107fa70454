#include "support/FakeLogind.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace zezar_test {

namespace {

constexpr const char* kPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";

}  // namespace

FakeLogind::FakeLogind(const std::string& i_strAddress) {
  sd_bus* pBus = nullptr;
  if (sd_bus_new(&pBus) < 0) throw std::runtime_error("sd_bus_new");
  m_bus.reset(pBus);
  if (sd_bus_set_address(pBus, i_strAddress.c_str()) < 0 || sd_bus_set_bus_client(pBus, 1) < 0 ||
      sd_bus_start(pBus) < 0) {
    throw std::runtime_error("cannot reach the test's system bus");
  }
  static const sd_bus_vtable kVtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD("Inhibit", "ssss", "h", &FakeLogind::OnInhibit, 0),
      SD_BUS_SIGNAL("PrepareForSleep", "b", 0),
      SD_BUS_VTABLE_END,
  };
  sd_bus_slot* pSlot = nullptr;
  if (sd_bus_add_object_vtable(pBus, &pSlot, kPath, kManager, kVtable, this) < 0 ||
      sd_bus_request_name(pBus, "org.freedesktop.login1", 0) < 0) {
    throw std::runtime_error("cannot be logind");
  }
  m_object.reset(pSlot);
}

int FakeLogind::OnInhibit(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error* o_pError) {
  auto* pSelf = static_cast<FakeLogind*>(i_pUserData);
  const char* pWhat = nullptr;
  const char* pWho = nullptr;
  const char* pWhy = nullptr;
  const char* pMode = nullptr;
  if (sd_bus_message_read(i_pMessage, "ssss", &pWhat, &pWho, &pWhy, &pMode) < 0) return -EINVAL;
  if (std::string(pWhat) != "sleep" || std::string(pMode) != "delay")
    return sd_bus_error_set(o_pError, SD_BUS_ERROR_INVALID_ARGS, "only sleep delay locks here");
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return -errno;
  pSelf->m_locks.emplace_back(ends[0]);
  const posix::UniqueFd theirs(ends[1]);  // the reply takes a copy
  return sd_bus_reply_method_return(i_pMessage, "h", theirs.get());
}

void FakeLogind::PrepareForSleep(bool i_bSleeping) {
  if (sd_bus_emit_signal(m_bus.get(), kPath, kManager, "PrepareForSleep", "b",
                         static_cast<int>(i_bSleeping)) < 0) {
    throw std::runtime_error("cannot send PrepareForSleep");
  }
  sd_bus_flush(m_bus.get());
}

int FakeLogind::LocksHeld() {
  while (sd_bus_process(m_bus.get(), nullptr) > 0) {
  }
  std::erase_if(m_locks, [](const posix::UniqueFd& i_lock) {
    pollfd entry{i_lock.get(), POLLIN, 0};
    return ::poll(&entry, 1, 0) > 0 && (entry.revents & (POLLHUP | POLLERR)) != 0;
  });
  return static_cast<int>(m_locks.size());
}

bool FakeLogind::WaitFor(const std::function<bool()>& i_condition,
                         std::chrono::milliseconds i_deadline) {
  const auto until = std::chrono::steady_clock::now() + i_deadline;
  for (;;) {
    while (sd_bus_process(m_bus.get(), nullptr) > 0) {
    }
    if (i_condition()) return true;
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    sd_bus_wait(m_bus.get(), static_cast<uint64_t>(std::min<int64_t>(left.count(), 50'000)));
  }
}

}  // namespace zezar_test
