#include "hosts/KeyringPasswords.h"

#include <algorithm>
#include <exception>

#include "keyring/Keyring.h"
#include "keyring/RouterPasswords.h"
#include "runloop/SdCheck.h"
#include "text/Translation.h"

namespace zezar {

KeyringPasswords::KeyringPasswords(sd_event* io_pEvent, std::function<void()> i_onAnswer,
                                   std::chrono::microseconds i_askAgainAfter)
    : m_pEvent(io_pEvent),
      m_onAnswer(std::move(i_onAnswer)),
      m_askAgainAfter(std::max(i_askAgainAfter, std::chrono::microseconds::zero())) {}

KeyringPasswords::~KeyringPasswords() = default;

router::PasswordSource::Answer KeyringPasswords::Ask(const std::string& i_strWhere) {
  if (m_answer && m_strWhere == i_strWhere) {
    Answer answer = std::move(*m_answer);
    m_answer.reset();
    return answer;
  }
  if (m_lookup && m_strWhere == i_strWhere)
    return {.pending = true, .passwords = {}, .problem = m_strLastProblem};
  uint64_t now = 0;
  runloop::Check(sd_event_now(m_pEvent, CLOCK_MONOTONIC, &now), "sd_event_now");
  if (m_held && m_strWhere == i_strWhere && now < m_heldUntilUsec) return *m_held;
  m_held.reset();

  m_answer.reset();
  m_readable.reset();
  m_late.reset();
  m_strWhere = i_strWhere;
  m_lookup = std::make_unique<keyring::PendingLookup>(i_strWhere, keyring::Unlock::Never);
  if (m_lookup->Fd() < 0) {  // no child: the answer says so at once
    const keyring::Answer failed = *m_lookup->Read();
    m_lookup.reset();
    const keyring::RouterPasswords passwords = keyring::ForTheRouter(failed);
    return {.passwords = {}, .problem = m_strLastProblem = passwords.problem};
  }
  sd_event_source* pReadable = nullptr;
  runloop::Check(sd_event_add_io(m_pEvent, &pReadable, m_lookup->Fd(), EPOLLIN, &OnReadable, this),
                 "sd_event_add_io keyring lookup");
  m_readable.reset(pReadable);
  sd_event_source_set_description(pReadable, "keyring-lookup");
  sd_event_source* pLate = nullptr;
  runloop::Check(
      sd_event_add_time(m_pEvent, &pLate, CLOCK_MONOTONIC,
                        now + std::chrono::duration_cast<std::chrono::microseconds>(kBound).count(),
                        0, &OnLate, this),
      "sd_event_add_time keyring lookup");
  m_late.reset(pLate);
  sd_event_source_set_description(pLate, "keyring-lookup-bound");
  return {.pending = true, .passwords = {}, .problem = m_strLastProblem};
}

int KeyringPasswords::OnReadable(sd_event_source*, int, uint32_t, void* i_pSelf) {
  auto* pSelf = static_cast<KeyringPasswords*>(i_pSelf);
  try {
    if (std::optional<keyring::Answer> answer = pSelf->m_lookup->Read()) pSelf->Answered(*answer);
  } catch (const std::exception&) {
    return -EIO;  // sd-event disables the source; the next connection asks anew
  }
  return 0;
}

int KeyringPasswords::OnLate(sd_event_source*, uint64_t, void* i_pSelf) {
  auto* pSelf = static_cast<KeyringPasswords*>(i_pSelf);
  try {
    pSelf->Answered(keyring::Answer::Failed(
        text::Format(text::Tr("no answer within {1} s"), {std::to_string(kBound.count())})));
  } catch (const std::exception&) {
    return -EIO;
  }
  return 0;
}

void KeyringPasswords::Answered(const keyring::Answer& i_answer) {
  keyring::RouterPasswords passwords = keyring::ForTheRouter(i_answer);
  m_strLastProblem = passwords.problem;
  m_answer =
      Answer{.passwords = {.admin = std::move(passwords.admin), .user = std::move(passwords.user)},
             .problem = std::move(passwords.problem)};
  uint64_t now = 0;
  if (!m_answer->passwords.admin && !m_answer->passwords.user &&
      sd_event_now(m_pEvent, CLOCK_MONOTONIC, &now) >= 0) {
    m_held = m_answer;
    m_heldUntilUsec = now + static_cast<uint64_t>(m_askAgainAfter.count());
  }
  m_lookup.reset();  // kills a child that is late
  m_readable.reset();
  m_late.reset();
  if (m_onAnswer) m_onAnswer();
}

}  // namespace zezar
