#include "support/SecretService.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

namespace zezar_test {

namespace {

constexpr const char* kLoginPassword = "zezar-test";

}  // namespace

SecretService::SecretService(const std::string& i_strBusAddress) : m_strBus(i_strBusAddress) {
  std::filesystem::create_directories(m_dir.path() / "runtime");
  std::filesystem::permissions(m_dir.path() / "runtime", std::filesystem::perms::owner_all);
  std::vector<std::string> strings;
  for (const auto& [name, value] : Environment()) strings.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& entry : strings) envp.push_back(entry.data());
  envp.push_back(nullptr);

  int input[2];
  if (::pipe2(input, O_CLOEXEC) != 0) throw std::runtime_error("pipe2");
  posix::UniqueFd read(input[0]), write(input[1]);
  m_daemon = ::fork();
  if (m_daemon < 0) throw std::runtime_error("fork");
  if (m_daemon == 0) {
    ::dup2(read.get(), STDIN_FILENO);
    const char* argv[] = {"/usr/bin/gnome-keyring-daemon", "--foreground", "--unlock",
                          "--components=secrets", nullptr};
    ::execve(argv[0], const_cast<char**>(argv), envp.data());
    _exit(127);
  }
  read.reset();
  [[maybe_unused]] const ssize_t written =
      ::write(write.get(), kLoginPassword, std::strlen(kLoginPassword));
  write.reset();  // the end of the password
  // gdbus waits for the name within its own bound.
  ChildProcess wait("/usr/bin/gdbus",
                    {"wait", "--session", "--timeout", "10", "org.freedesktop.secrets"},
                    Environment());
  if (wait.Finish().code != 0) {
    Stop();
    throw std::runtime_error("gnome-keyring-daemon did not come onto the bus");
  }
}

SecretService::~SecretService() { Stop(); }

std::map<std::string, std::string> SecretService::Environment() const {
  return {{"DBUS_SESSION_BUS_ADDRESS", m_strBus},
          {"HOME", m_dir.path().string()},
          {"XDG_DATA_HOME", (m_dir.path() / "data").string()},
          {"XDG_CONFIG_HOME", (m_dir.path() / "config").string()},
          {"XDG_STATE_HOME", (m_dir.path() / "state").string()},
          {"XDG_RUNTIME_DIR", (m_dir.path() / "runtime").string()}};
}

ChildResult SecretService::SecretTool(const std::vector<std::string>& i_arguments,
                                      const std::string& i_strInput) const {
  return ChildProcess("/usr/bin/secret-tool", i_arguments, Environment(), i_strInput).Finish();
}

bool SecretService::Lock() const {
  return ChildProcess("/usr/bin/gdbus",
                      {"call", "--session", "--timeout", "10", "--dest", "org.freedesktop.secrets",
                       "--object-path", "/org/freedesktop/secrets", "--method",
                       "org.freedesktop.Secret.Service.Lock",
                       "['/org/freedesktop/secrets/collection/login']"},
                      Environment())
             .Finish()
             .code == 0;
}

void SecretService::Stop() {
  if (m_daemon <= 0) return;
  ::kill(m_daemon, SIGTERM);
  Reap(m_daemon, std::chrono::seconds(5));
  m_daemon = -1;
}

}  // namespace zezar_test
