#pragma once

// The simulated daemon's TCP side: one thread serves every connection at once with poll() on
// non-blocking sockets, so an idle, slow or never-reading client holds up nobody but itself.
// Each connection has a session of its own; all share one router. Run it in a process of its
// own (a demo, a test peer); it never shares a thread with a client. The router's limits bound
// what clients may hold: connections (the one idle longest makes room for a new one), idle
// time, answers not taken, and the file store.

#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <optional>
#include <string>
#include <string_view>

#include "posix/UniqueFd.h"
#include "routersim/Faults.h"
#include "routersim/Router.h"
#include "routersim/Session.h"

namespace routersim {

class Server {
 public:
  // Where fault lines come from, and where each gets its one-line reply ("ok" or "error: ...").
  // The line "served [KEYWORD]" is answered "ok R C": R requests answered (those with that
  // keyword, or all), C connections accepted, so a test can wait for a client's polls.
  struct Control {
    int in = -1;             // -1: none
    int out = -1;            // -1: no replies
    bool bStopAtEnd = true;  // the end of `in` stops the server (false: only stops reading it)
  };
  using Log = std::function<void(const std::string&)>;

  // Listens on the IPv4 address and port (0: the kernel picks one). Throws std::system_error.
  Server(Router i_router, const std::string& i_strAddress, uint16_t i_port);
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  uint16_t Port() const { return m_port; }
  // The listening socket, for a child process that must keep it and close all else.
  int ListenerFd() const { return m_listener.get(); }
  void SetLog(Log i_log) { m_log = std::move(i_log); }

  // Serves until the control input ends (when it stops the server) or a client halts the
  // router. Without control input it serves until halted.
  void Serve(Control i_control);

 private:
  using Clock = std::chrono::steady_clock;
  struct Connection {
    posix::UniqueFd fd;
    Session session;
    std::string out;               // bytes not yet sent
    Clock::time_point sendAt;      // latency: nothing leaves before this
    Clock::time_point lastActive;  // when bytes last moved either way
    bool bCloseWhenSent = false;
  };

  void Listen();
  void ListenAgain(Clock::time_point i_now);  // after a reboot, or a retry later
  Clock::time_point IdleUntil(const Connection& i_connection) const;
  void CloseIdle(Clock::time_point i_now);
  std::list<Connection>::iterator LongestIdle();  // end() when none waits for a request
  void AcceptAll(Clock::time_point i_now);
  bool ServeInput(Connection& io_connection, Clock::time_point i_now);
  bool ServeOutput(Connection& io_connection);
  bool ReadControl(const Control& i_control, Clock::time_point i_now);
  std::string Served(std::string_view i_strKeyword) const;
  void ApplyFault(const FaultCommand& i_fault, Clock::time_point i_now);
  void Reboot(Clock::time_point i_now, std::chrono::seconds i_down);
  void Say(const std::string& i_strMessage) const;

  Router m_router;
  std::string m_strAddress;
  uint16_t m_port = 0;
  posix::UniqueFd m_listener;  // empty while a reboot refuses connections
  std::list<Connection> m_connections;
  unsigned m_uAccepted = 0;
  RequestCounts m_requests;
  std::string m_strControlPending;
  bool m_bSkippingControlLine = false;  // the rest of one too long
  bool m_bToldFull = false;
  Log m_log;

  AnswerFaults m_faults;
  Clock::time_point m_stallUntil;
  Clock::time_point m_refuseUntil;        // a reboot: no listener until then
  Clock::time_point m_acceptPausedUntil;  // out of descriptors: try again later
  std::chrono::milliseconds m_latency{0};
  std::optional<std::chrono::seconds> m_rebootPending;  // asked for by a client's "reboot"
  bool m_bHalted = false;
};

}  // namespace routersim
