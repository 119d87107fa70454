#include "support/SessionBus.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "posix/UniqueFd.h"
#include "support/ChildProcess.h"

namespace zezar_test {

namespace {

// The session bus's own rules, without its service folders.
constexpr const char* kNoActivation =
    "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
    " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
    "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>"
    "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
    "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n";

}  // namespace

SessionBus::SessionBus(Activation i_activation) {
  std::string strConfigOption = "--session";
  if (i_activation == Activation::None) {
    m_strConfig = (std::filesystem::temp_directory_path() / "zezar-bus-XXXXXX").string();
    const posix::UniqueFd config(::mkstemp(m_strConfig.data()));
    if (!config || ::write(config.get(), kNoActivation, std::strlen(kNoActivation)) < 0)
      throw std::runtime_error("bus configuration");
    strConfigOption = "--config-file=" + m_strConfig;
  }
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe2");
  posix::UniqueFd read(ends[0]);
  posix::UniqueFd write(ends[1]);
  m_child = ::fork();
  if (m_child < 0) throw std::runtime_error("fork");
  if (m_child == 0) {
    // The address goes to standard output, which is the pipe.
    ::dup2(write.get(), STDOUT_FILENO);
    ::execlp("dbus-daemon", "dbus-daemon", strConfigOption.c_str(), "--nofork", "--nopidfile",
             "--print-address=1", static_cast<char*>(nullptr));
    _exit(127);
  }
  write.reset();
  for (;;) {
    pollfd entry{read.get(), POLLIN, 0};
    const int ready = ::poll(&entry, 1, 10'000);
    if (ready < 0 && errno == EINTR) continue;
    char buffer[512];
    const ssize_t n = ready > 0 ? ::read(read.get(), buffer, sizeof buffer) : 0;
    if (n <= 0) {
      Stop();
      throw std::runtime_error("dbus-daemon did not start");
    }
    m_strAddress.append(buffer, static_cast<std::size_t>(n));
    if (const std::size_t uEnd = m_strAddress.find('\n'); uEnd != std::string::npos) {
      m_strAddress.resize(uEnd);
      return;
    }
  }
}

SessionBus::~SessionBus() { Stop(); }

void SessionBus::Stop() {
  if (!m_strConfig.empty()) ::unlink(m_strConfig.c_str());
  m_strConfig.clear();
  if (m_child <= 0) return;
  ::kill(m_child, SIGTERM);
  Reap(m_child, std::chrono::seconds(5));
  m_child = -1;
}

}  // namespace zezar_test
