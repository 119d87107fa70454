// The configuration file: what it takes, and every way a bad one is refused with its reason.

#include "Config.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/TempDir.h"

namespace zezar_test {
namespace {

class AConfiguration : public ::testing::Test {
 protected:
  void SetUp() override {
    m_strPassword = m_dir.Write("user.pass", "secret\nsecond line\n").string();
    ::chmod(m_strPassword.c_str(), 0600);
  }
  std::string Router(const std::string& i_strName, const std::string& i_strExtra = "") const {
    return "[[router]]\nname = \"" + i_strName + "\"\naddress = \"192.0.2.1\"\npassword_file = \"" +
           m_strPassword + "\"\n" + i_strExtra + "\n";
  }
  std::string ErrorOf(const std::string& i_strText) {
    try {
      exporter::LoadConfig(m_dir.Write("exporter.toml", i_strText));
    } catch (const exporter::ConfigError& error) {
      return error.what();
    }
    return "(taken)";
  }

  TempDir m_dir;
  std::string m_strPassword;
};

TEST_F(AConfiguration, TakesRoutersWithTheirDefaults) {
  const auto config = exporter::LoadConfig(m_dir.Write(
      "exporter.toml", Router("office", "labels = { site = \"Berlin \\\"Mitte\\\"\" }") +
                           Router("home", "port = 5001\nmax_channel_rate = 64")));
  ASSERT_EQ(config->routers.size(), 2u);
  const exporter::RouterConfig& office = *config->Find("office");
  EXPECT_EQ(office.port, 5000);
  EXPECT_EQ(office.password, "secret");
  EXPECT_EQ(office.channelCapacity, 147456.0);
  EXPECT_EQ(office.labels.at("site"), "Berlin \"Mitte\"");
  EXPECT_EQ(config->Find("home")->port, 5001);
  EXPECT_EQ(config->Find("home")->channelCapacity, 8192.0);
  EXPECT_EQ(config->Find("elsewhere"), nullptr);
}

TEST_F(AConfiguration, IsRefusedWholeWithTheFirstProblem) {
  const std::string strReadable = m_dir.Write("readable.pass", "pw\n").string();
  ::chmod(strReadable.c_str(), 0644);
  const std::string strFifo = (m_dir.path() / "fifo").string();
  ASSERT_EQ(::mkfifo(strFifo.c_str(), 0600), 0);
  const std::string strEmpty = m_dir.Write("empty.pass", "\n").string();
  ::chmod(strEmpty.c_str(), 0600);
  const auto withPassword = [&](const std::string& i_strName, const std::string& i_strFile) {
    return "[[router]]\nname = \"" + i_strName + "\"\naddress = \"192.0.2.1\"\npassword_file = \"" +
           i_strFile + "\"\n";
  };
  const struct {
    const char* name;
    std::string text;
    std::string message;  // a part of it
  } rows[] = {
      {"duplicate names", Router("a") + Router("b") + Router("a"),
       "router 3: the name a is taken already"},
      {"unknown key", Router("a", "colour = \"red\""), "router 1: unknown key colour"},
      {"unknown table", "[routers]\n", "unknown key routers"},
      {"name with a slash", Router("a/b"), "name must be"},
      {"empty name", Router(""), "name must be"},
      {"port beyond 16 bits", Router("a", "port = 65536"), "port must be"},
      {"port as text", Router("a", "port = \"5000\""), "port must be"},
      {"address with a blank", "[[router]]\nname=\"a\"\naddress=\"a b\"\n", "address must be"},
      {"no password file", "[[router]]\nname=\"a\"\naddress=\"h\"\n", "password_file is missing"},
      {"password file others may read", withPassword("a", strReadable), "others may read"},
      {"password file a FIFO", withPassword("a", strFifo), "not a regular file"},
      {"password file a device", withPassword("a", "/dev/zero"), "not a regular file"},
      {"password file missing", withPassword("a", "/nonexistent/pw"), "No such file"},
      {"password file empty", withPassword("a", strEmpty), "no password"},
      {"reserved label", Router("a", "labels = { __address__ = \"x\" }"), "labels.__address__"},
      {"label that is no string", Router("a", "labels = { n = 1 }"), "labels.n"},
      {"not TOML", "[[router]\n", "exporter.toml:1"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string strError = ErrorOf(row.text);
    EXPECT_NE(strError.find(row.message), std::string::npos) << strError;
  }
}

TEST_F(AConfiguration, TakesTenThousandRouters) {
  std::string strText;
  for (int i = 0; i < 10000; ++i) strText += Router("r" + std::to_string(i));
  const auto config = exporter::LoadConfig(m_dir.Write("exporter.toml", strText));
  EXPECT_EQ(config->routers.size(), 10000u);
  EXPECT_NE(config->Find("r9999"), nullptr);
}

}  // namespace
}  // namespace zezar_test
