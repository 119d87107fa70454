#pragma once

// zezar-exporter as its users run it: a child process serving on 127.0.0.1 at a port the
// kernel picks, with a configuration of the test's, and the routers' password file.

#include <sys/stat.h>

#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "support/WaitUntil.h"

namespace zezar_test {

struct Target {
  std::string name;
  uint16_t port;
  std::string extra = "";  // more TOML lines for its table
};

// A [[router]] table a line each key, with the test's password file.
inline std::string RouterTable(const Target& i_target, const std::string& i_strPasswordFile) {
  return "[[router]]\nname = \"" + i_target.name +
         "\"\naddress = \"127.0.0.1\"\nport = " + std::to_string(i_target.port) +
         "\npassword_file = \"" + i_strPasswordFile + "\"\n" + i_target.extra + "\n";
}

class ExporterProcess {
 public:
  // The simulator's user password, kept as the exporter wants it: others may not read it.
  explicit ExporterProcess(const std::vector<Target>& i_targets) {
    m_strPasswordFile = m_dir.Write("user.pass", "user\n").string();
    ::chmod(m_strPasswordFile.c_str(), 0600);
    WriteConfig(i_targets);
    m_process = std::make_unique<ChildProcess>(
        ZEZAR_EXPORTER,
        std::vector<std::string>{"--config.file", ConfigPath(), "--web.listen-address",
                                 "127.0.0.1:0"},
        std::map<std::string, std::string>{});
    WaitUntil(
        [&] {
          const std::string strErr = m_process->Err();
          const std::size_t uAt = strErr.find("listening on port ");
          if (uAt == std::string::npos) return false;
          m_port = static_cast<uint16_t>(std::stoi(strErr.substr(uAt + 18)));
          return true;
        },
        std::chrono::seconds(10));
  }

  void WriteConfig(const std::vector<Target>& i_targets) {
    std::string strConfig;
    for (const Target& target : i_targets) strConfig += RouterTable(target, m_strPasswordFile);
    m_dir.Write("exporter.toml", strConfig);
  }
  std::string ConfigPath() const { return (m_dir.path() / "exporter.toml").string(); }
  const TempDir& Dir() const { return m_dir; }
  uint16_t Port() const { return m_port; }  // 0 when it never listened
  ChildProcess& Process() { return *m_process; }

 private:
  TempDir m_dir;
  std::string m_strPasswordFile;
  std::unique_ptr<ChildProcess> m_process;
  uint16_t m_port = 0;
};

}  // namespace zezar_test
