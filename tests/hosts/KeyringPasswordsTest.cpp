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
  zezar::KeyringPasswords passwords(
      pEvent, [&] { ++answers; }, 300ms);
  const std::string strWhere = "127.0.0.1:5000";
  // Runs the loop until the lookup under way has answered, within the lookup's own bound.
  const auto answered = [&](int i_iAnswers) {
    for (const Clock::time_point end = Clock::now() + 15s;
         answers < i_iAnswers && Clock::now() < end;)
      sd_event_run(pEvent, 100'000);
    return answers == i_iAnswers;
  };

  ASSERT_TRUE(passwords.Ask(strWhere).pending);
  ASSERT_TRUE(answered(1));
  const router::PasswordSource::Answer none = passwords.Ask(strWhere);
  EXPECT_FALSE(none.pending);
  EXPECT_FALSE(none.passwords.admin || none.passwords.user);

  ASSERT_EQ(keyring
                .SecretTool({"store", "--label", "test", "application", "zezar", "router", strWhere,
                             "role", "admin"},
                            "admin")
                .code,
            0);
  // Within the while, the answer stands: no lookup, though the keyring now has the password.
  const router::PasswordSource::Answer held = passwords.Ask(strWhere);
  EXPECT_FALSE(held.pending);
  EXPECT_FALSE(held.passwords.admin);
  EXPECT_FALSE(passwords.Pending());

  // After it, a poll's question starts a lookup, which finds the password.
  bool bAskedAgain = false;
  for (const Clock::time_point end = Clock::now() + 10s; !bAskedAgain && Clock::now() < end;) {
    sd_event_run(pEvent, 20'000);
    bAskedAgain = passwords.Ask(strWhere).pending;
  }
  ASSERT_TRUE(bAskedAgain) << "the answer without a password stood for good";
  ASSERT_TRUE(answered(2));
  const router::PasswordSource::Answer found = passwords.Ask(strWhere);
  ASSERT_TRUE(found.passwords.admin);
  EXPECT_EQ(*found.passwords.admin, "admin");
}

}  // namespace
}  // namespace zezar_test
