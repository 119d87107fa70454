// The keyring's answer without a password stands for a while, so that a locked or empty
// keyring does not start a lookup at every poll; once that while is over the keyring is asked
// again, and a password stored meanwhile is taken.

#include "hosts/KeyringPasswords.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <map>
#include <optional>
#include <string>

#include "runloop/SdEventPtr.h"
#include "support/ScopedEnv.h"
#include "support/SecretService.h"
#include "support/SessionBus.h"

namespace zezar_test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(KeyringPasswords, AsksAgainOnceAnAnswerWithoutPasswordsHasStood) {
  SessionBus bus;
  SecretService keyring(bus.Address());
  std::map<std::string, std::string> environment = keyring.Environment();
  environment["DBUS_SESSION_BUS_ADDRESS"] = bus.Address();
  std::deque<ScopedEnv> scoped;  // the lookup's helper inherits them
  for (const auto& [strName, strValue] : environment)
    scoped.emplace_back(strName.c_str(), strValue.c_str());
  sd_event* pEvent = nullptr;
  ASSERT_GE(sd_event_new(&pEvent), 0);
  const runloop::SdEventPtr event(pEvent);
  int answers = 0;
  constexpr std::chrono::microseconds kHold = 1s;
  zezar::KeyringPasswords passwords(
      pEvent, [&] { ++answers; }, kHold);
  const std::string strWhere = "127.0.0.1:5000";
  // Runs the loop until the lookup under way has answered: it does within its bound, whose end
  // is an answer too.
  const auto answered = [&](int i_iAnswers) {
    for (const Clock::time_point end = Clock::now() + zezar::KeyringPasswords::kBound + 5s;
         answers < i_iAnswers && Clock::now() < end;)
      sd_event_run(pEvent, 100'000);
    return answers == i_iAnswers;
  };
  // Runs the loop until its time is at least i_uUsec (CLOCK_MONOTONIC); its time then.
  const auto runUntil = [&](uint64_t i_uUsec) {
    bool bDue = false;
    sd_event_source* pTimer = nullptr;
    const auto due = [](sd_event_source*, uint64_t, void* i_pDue) {
      *static_cast<bool*>(i_pDue) = true;
      return 0;
    };
    if (sd_event_add_time(pEvent, &pTimer, CLOCK_MONOTONIC, i_uUsec, 1, due, &bDue) < 0)
      return uint64_t{0};
    const runloop::SdEventSourcePtr timer(pTimer);
    for (const Clock::time_point end = Clock::now() + 10s; !bDue && Clock::now() < end;)
      sd_event_run(pEvent, 100'000);
    uint64_t uNow = 0;
    sd_event_now(pEvent, CLOCK_MONOTONIC, &uNow);
    return uNow;
  };

  ASSERT_TRUE(passwords.Ask(strWhere).pending);
  ASSERT_TRUE(answered(1));
  uint64_t uAnsweredAt = 0;  // the loop's time when the answer came, where the hold starts
  ASSERT_GE(sd_event_now(pEvent, CLOCK_MONOTONIC, &uAnsweredAt), 0);
  const uint64_t uHeldUntil = uAnsweredAt + static_cast<uint64_t>(kHold.count());
  const router::PasswordSource::Answer none = passwords.Ask(strWhere);
  EXPECT_FALSE(none.pending);
  EXPECT_FALSE(none.passwords.admin || none.passwords.user);

  ASSERT_EQ(keyring
                .SecretTool({"store", "--label", "test", "application", "zezar", "router", strWhere,
                             "role", "admin"},
                            "admin")
                .code,
            0);
  // Halfway through the hold, the answer stands: no lookup, though the keyring now has the
  // password. (Unless the machine stalled past the hold's end meanwhile: nothing to see then.)
  if (runUntil(uAnsweredAt + static_cast<uint64_t>(kHold.count()) / 2) < uHeldUntil) {
    const router::PasswordSource::Answer held = passwords.Ask(strWhere);
    EXPECT_FALSE(held.pending) << "the answer did not stand for the hold";
    EXPECT_FALSE(held.passwords.admin);
    EXPECT_FALSE(passwords.Pending());
  }

  // At its end, a poll's question starts a lookup, which finds the password.
  ASSERT_GE(runUntil(uHeldUntil), uHeldUntil);
  ASSERT_TRUE(passwords.Ask(strWhere).pending) << "the answer stood past the hold";
  ASSERT_TRUE(answered(2));
  const router::PasswordSource::Answer found = passwords.Ask(strWhere);
  ASSERT_TRUE(found.passwords.admin);
  EXPECT_EQ(*found.passwords.admin, "admin");
}

}  // namespace
}  // namespace zezar_test
