#include "support/FakeDaemon.h"
#include "support/Loopback.h"

#include "support/ChildProcess.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace zezar_test {

namespace {

using Clock = std::chrono::steady_clock;
using posix::UniqueFd;

[[noreturn]] void Die(const char* i_pWhat) {
  throw std::runtime_error(std::string("fake daemon: ") + i_pWhat + ": " + std::strerror(errno));
}

// A pipe whose two ends close on every path.
struct Pipe {
  Pipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) Die("pipe2");
    read.reset(fds[0]);
    write.reset(fds[1]);
  }
  UniqueFd read;
  UniqueFd write;
};

// Shows bytes readably in failure messages.
std::string Visible(const std::string& i_strBytes) {
  std::string strOut;
  for (const unsigned char c : i_strBytes.substr(0, 200)) {
    if (c == '\r') {
      strOut += "\\r";
    } else if (c == '\n') {
      strOut += "\\n";
    } else if (c < 32 || c > 126) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      strOut += hex;
    } else {
      strOut += static_cast<char>(c);
    }
  }
  if (i_strBytes.size() > 200) strOut += "...";
  return '"' + strOut + '"';
}

void WriteAll(int i_fd, const std::string& i_strBytes) {
  std::size_t uDone = 0;
  while (uDone < i_strBytes.size()) {
    const ssize_t n = ::write(i_fd, i_strBytes.data() + uDone, i_strBytes.size() - uDone);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    uDone += static_cast<std::size_t>(n);
  }
}

void PutSized(std::string& io_strOut, const std::string& i_strBytes) {
  const auto size = static_cast<uint32_t>(i_strBytes.size());
  io_strOut.append(reinterpret_cast<const char*>(&size), sizeof size);
  io_strOut += i_strBytes;
}

bool GetSized(const std::string& i_strIn, std::size_t& io_uPos, std::string& o_strBytes) {
  uint32_t size = 0;
  if (i_strIn.size() - io_uPos < sizeof size) return false;
  std::memcpy(&size, i_strIn.data() + io_uPos, sizeof size);
  io_uPos += sizeof size;
  if (i_strIn.size() - io_uPos < size) return false;
  o_strBytes = i_strIn.substr(io_uPos, size);
  io_uPos += size;
  return true;
}

// The child's side: runs the scripts, then reports.
class Server {
 public:
  Server(int i_listener, int i_control) : m_listener(i_listener), m_control(i_control) {}

  void Run(const std::vector<Script>& i_scripts) {
    for (std::size_t i = 0; i < i_scripts.size() && m_strError.empty(); ++i) {
      m_connection = i + 1;
      const int fd = Accept();
      if (fd < 0) {
        Fail("connection " + std::to_string(m_connection) + " was never made");
        return;
      }
      m_received.emplace_back();
      m_pending.clear();
      const bool bOpen = RunSteps(fd, i_scripts[i]);
      if (bOpen) Drain(fd);
      ::close(fd);
    }
  }

  std::string Report() const {
    std::string strOut;
    const auto count = static_cast<uint32_t>(m_received.size());
    strOut.append(reinterpret_cast<const char*>(&count), sizeof count);
    for (const std::string& bytes : m_received) PutSized(strOut, bytes);
    PutSized(strOut, m_strError);
    return strOut;
  }

 private:
  enum class Wait { Ready, TimedOut };

  void Fail(std::string i_strMessage) {
    if (m_strError.empty()) m_strError = std::move(i_strMessage);
  }

  std::string Where() const { return "connection " + std::to_string(m_connection) + ": "; }

  // Waits for i_fd to become readable. Once the test has finished, waits no longer: only what
  // has already arrived counts.
  Wait WaitReadable(int i_fd, Clock::time_point i_deadline) {
    for (;;) {
      pollfd fds[2] = {{i_fd, POLLIN, 0}, {m_control, POLLIN, 0}};
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(i_deadline - Clock::now());
      const int timeout = m_bFinishing ? 0 : static_cast<int>(std::max<long long>(left.count(), 0));
      const int ready = ::poll(fds, m_bFinishing ? 1 : 2, timeout);
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) return Wait::TimedOut;
      if (fds[0].revents != 0) return Wait::Ready;
      m_bFinishing = true;  // the control pipe closed
    }
  }

  int Accept() {
    if (WaitReadable(m_listener, Clock::now() + FakeDaemon::kDeadline) != Wait::Ready) return -1;
    return ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
  }

  // Reads once; false on end of stream or error.
  bool Receive(int i_fd) {
    char buffer[4096];
    const ssize_t n = ::recv(i_fd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    m_received.back().append(buffer, static_cast<std::size_t>(n));
    m_pending.append(buffer, static_cast<std::size_t>(n));
    return true;
  }

  // Returns whether the connection is still open.
  bool RunSteps(int i_fd, const Script& i_script) {
    for (const Step& step : i_script) {
      switch (step.kind) {
        case Step::Kind::Expect:
          if (!AwaitBytes(i_fd, step.bytes)) return true;
          break;
        case Step::Kind::Send:
          // The client may have gone already; what it did not read is its business.
          for (std::size_t uDone = 0; uDone < step.bytes.size();) {
            const ssize_t n =
                ::send(i_fd, step.bytes.data() + uDone, step.bytes.size() - uDone, MSG_NOSIGNAL);
            if (n <= 0) break;
            uDone += static_cast<std::size_t>(n);
          }
          break;
        case Step::Kind::Stall:
          std::this_thread::sleep_for(step.duration);
          break;
        case Step::Kind::Close:
          ExpectNothingPending();
          return false;
      }
    }
    return true;
  }

  bool AwaitBytes(int i_fd, const std::string& i_strBytes) {
    const Clock::time_point deadline = Clock::now() + FakeDaemon::kDeadline;
    while (m_pending.size() < i_strBytes.size()) {
      if (WaitReadable(i_fd, deadline) != Wait::Ready) {
        Fail(Where() + "expected " + Visible(i_strBytes) + ", got only " + Visible(m_pending));
        return false;
      }
      if (!Receive(i_fd)) {
        Fail(Where() + "closed by the client while " + Visible(i_strBytes) + " was expected; got " +
             Visible(m_pending));
        return false;
      }
    }
    if (m_pending.compare(0, i_strBytes.size(), i_strBytes) != 0) {
      Fail(Where() + "expected " + Visible(i_strBytes) + ", got " +
           Visible(m_pending.substr(0, i_strBytes.size() + 20)));
      return false;
    }
    m_pending.erase(0, i_strBytes.size());
    return true;
  }

  void ExpectNothingPending() {
    if (!m_pending.empty()) Fail(Where() + "unexpected bytes " + Visible(m_pending));
  }

  // After the script: records until the client closes or the test finishes. Anything that
  // arrives now was not in the script.
  void Drain(int i_fd) {
    const Clock::time_point deadline = Clock::now() + 6 * FakeDaemon::kDeadline;
    while (WaitReadable(i_fd, deadline) == Wait::Ready && Receive(i_fd)) {
    }
    ExpectNothingPending();
  }

  int m_listener;
  int m_control;
  bool m_bFinishing = false;
  std::size_t m_connection = 0;
  std::vector<std::string> m_received;
  std::string m_pending;  // arrived, not yet matched by an Expect
  std::string m_strError;
};

// The child keeps only the descriptors it serves with: a copy of a client socket would keep
// that connection open after the client closed it.
void CloseAllBut(std::initializer_list<int> i_keep) {
  const int limit = static_cast<int>(std::min<long>(sysconf(_SC_OPEN_MAX), 65536));
  for (int fd = 3; fd < limit; ++fd) {
    if (std::find(i_keep.begin(), i_keep.end(), fd) == i_keep.end()) ::close(fd);
  }
}

}  // namespace

Step Expect(std::string i_strBytes) { return {Step::Kind::Expect, std::move(i_strBytes), {}}; }
Step Send(std::string i_strBytes) { return {Step::Kind::Send, std::move(i_strBytes), {}}; }
Step Stall(std::chrono::milliseconds i_duration) { return {Step::Kind::Stall, {}, i_duration}; }
Step Close() { return {Step::Kind::Close, {}, {}}; }

FakeDaemon::FakeDaemon(Script i_script) : FakeDaemon(std::vector<Script>{std::move(i_script)}) {}

FakeDaemon::FakeDaemon(std::vector<Script> i_scripts) {
  const UniqueFd listener = ListenOnLoopback(8, m_port);
  Pipe control;
  Pipe report;

  m_child = ::fork();
  if (m_child < 0) Die("fork");
  if (m_child == 0) {
    CloseAllBut({listener.get(), control.read.get(), report.write.get()});
    signal(SIGPIPE, SIG_IGN);
    signal(SIGALRM, SIG_IGN);
    Server server(listener.get(), control.read.get());
    server.Run(i_scripts);
    WriteAll(report.write.get(), server.Report());
    _exit(0);
  }
  m_control = std::move(control.write);
  m_report = std::move(report.read);
}

FakeDaemon::~FakeDaemon() {
  if (m_child > 0) Finish();
}

Transcript FakeDaemon::Finish() {
  Transcript transcript;
  if (m_child <= 0) {
    transcript.error = "Finish called twice";
    return transcript;
  }
  m_control.reset();

  std::string strReport;
  const Clock::time_point deadline = Clock::now() + 8 * kDeadline;
  for (;;) {
    pollfd entry{m_report.get(), POLLIN, 0};
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    const int ready = ::poll(&entry, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      ::kill(m_child, SIGKILL);
      transcript.error = "the fake daemon did not finish in time";
      break;
    }
    char buffer[4096];
    const ssize_t n = ::read(m_report.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    strReport.append(buffer, static_cast<std::size_t>(n));
  }
  m_report.reset();
  Reap(m_child, kDeadline);
  m_child = -1;
  if (!transcript.error.empty()) return transcript;

  uint32_t count = 0;
  std::size_t uPos = sizeof count;
  bool bWhole = strReport.size() >= sizeof count;
  if (bWhole) std::memcpy(&count, strReport.data(), sizeof count);
  for (uint32_t i = 0; bWhole && i < count; ++i) {
    bWhole = GetSized(strReport, uPos, transcript.received.emplace_back());
  }
  if (bWhole) bWhole = GetSized(strReport, uPos, transcript.error);
  if (!bWhole) transcript.error = "the fake daemon's report is incomplete";
  return transcript;
}

RefusingPort::RefusingPort() : m_fd(ListenOnLoopback(-1, m_port)) {}

SilentPort::SilentPort() : m_listener(ListenOnLoopback(-1, m_port)) {
  if (::listen(m_listener.get(), 0) != 0) Die("listen");
  m_filler.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(m_port);
  if (!m_filler ||
      ::connect(m_filler.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    Die("connect");
  }
}

int OpenDescriptorCount() {
  DIR* pDir = ::opendir("/proc/self/fd");
  if (pDir == nullptr) return -1;
  int count = 0;
  while (const dirent* pEntry = ::readdir(pDir)) {
    if (pEntry->d_name[0] != '.') ++count;
  }
  ::closedir(pDir);
  return count - 1;  // the directory's own descriptor
}

}  // namespace zezar_test

namespace zezar_test {

Script Exchanges(const std::vector<Exchange>& i_exchanges) {
  Script script;
  for (const Exchange& exchange : i_exchanges) {
    script.push_back(Expect(exchange.command + "\r\n"));
    script.push_back(Send(exchange.answer + "\n"));
  }
  return script;
}

Script operator+(Script i_first, const Script& i_second) {
  i_first.insert(i_first.end(), i_second.begin(), i_second.end());
  return i_first;
}

}  // namespace zezar_test
