// The uptime's decimal parser: every character is a decimal place, and no overflow goes
// unnoticed.

#include <stdexcept>

#include "ClientTest.h"

namespace zezar_test {
namespace {

using TheUptime = ClientTest;

constexpr uint64_t kOverflow = 0;  // marks rows that must throw

TEST_F(TheUptime, ReadsEveryCharacterAsADecimalPlace) {
  struct Row {
    std::string text;
    uint64_t value;
    bool throws;
  } rows[] = {
      {"", 0, false},
      {"0", 0, false},
      {"123", 123, false},
      {"86400", 86400, false},
      {"12a", 120, false},
      {" 42", 42, false},
      {"-5", 5, false},
      {"1844674407370955161x", 18446744073709551610u, false},
      {"18446744073709551615", 18446744073709551615u, false},
      {"018446744073709551615", 18446744073709551615u, false},
      {"18446744073709551616", kOverflow, true},
      {"18446744073709551620", kOverflow, true},
      {"18446744073709551615x", kOverflow, true},
      {"30000000000000000000", kOverflow, true},
      {"99999999999999999999", kOverflow, true},
      {"184467440737095516150", kOverflow, true},
      {"100000000000000000000000000000000000000000", kOverflow, true},
  };
  Script script;
  for (const Row& row : rows) script = script + Exchanges({{"uptime", "OK " + row.text}});
  FakeDaemon daemon(script);
  ConnectTo(daemon);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    if (row.throws) {
      try {
        client.Uptime();
        ADD_FAILURE() << "no overflow reported";
      } catch (const std::overflow_error& error) {
        EXPECT_STREQ(error.what(), "overflow");
      }
    } else {
      EXPECT_EQ(client.Uptime(), row.value);
    }
  }
  client.Disconnect();
  Check(daemon);
}

}  // namespace
}  // namespace zezar_test
