#pragma once

// The monitor's passwords from the desktop's keyring, looked up in a child while the loop goes
// on (keyring/Keyring.h): one lookup per connection, at most kBound long, never unlocking the
// keyring. When the answer comes, the host is told, so that it polls at once rather than at
// the next tick. An answer without a password (the keyring locked, none stored, no keyring)
// is given again to the connections of the next kAskAgainAfter (or the time given) rather
// than asked anew at every tick: a lookup starts a process.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "router/PasswordSource.h"
#include "runloop/SdEventPtr.h"

namespace keyring {
class PendingLookup;
struct Answer;
}  // namespace keyring

namespace zezar {

class KeyringPasswords final : public router::PasswordSource {
 public:
  static constexpr std::chrono::seconds kBound{10};
  static constexpr std::chrono::seconds kAskAgainAfter{30};

  // Throws std::system_error when the loop cannot watch a lookup.
  KeyringPasswords(sd_event* io_pEvent, std::function<void()> i_onAnswer,
                   std::chrono::microseconds i_askAgainAfter = kAskAgainAfter);
  ~KeyringPasswords() override;

  Answer Ask(const std::string& i_strWhere) override;
  // A lookup under way: its answer will be told.
  bool Pending() const { return m_lookup != nullptr; }

 private:
  static int OnReadable(sd_event_source* i_pSource, int i_fd, uint32_t i_events, void* i_pSelf);
  static int OnLate(sd_event_source* i_pSource, uint64_t i_usec, void* i_pSelf);
  // Keeps the answer for the next connection, ends the lookup, and tells the host, last.
  void Answered(const keyring::Answer& i_answer);

  sd_event* m_pEvent;
  std::function<void()> m_onAnswer;
  std::chrono::microseconds m_askAgainAfter;  // never negative
  std::string m_strWhere;  // of the lookup under way, or of the answer kept
  std::unique_ptr<keyring::PendingLookup> m_lookup;
  runloop::SdEventSourcePtr m_readable;
  runloop::SdEventSourcePtr m_late;
  std::optional<Answer> m_answer;  // until a connection takes it
  std::optional<Answer> m_held;    // one without a password, for the connections until then:
  uint64_t m_heldUntilUsec = 0;    // CLOCK_MONOTONIC
  std::string m_strLastProblem;    // what the last answer said, shown while the next is pending
};

}  // namespace zezar
