// The client against whatever bytes a router may send: a peer on 127.0.0.1 sends the input,
// all at once, then closes its side, and the client runs through its whole command set once:
// login (both forms), the permissions, the channels and circuits with every query, every
// router command, Uptime (whose overflow is an allowed outcome), a download and both uploads.
// Beyond the sanitizers, it checks what the client promises: its bounds on what it holds and
// no descriptor left open. (Its waits are its own now, so libFuzzer's timer is left alone.)

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "client/Zastra.h"
#include "posix/UniqueFd.h"
#include "support/Loopback.h"

namespace {

using posix::UniqueFd;

void Require(bool i_bHolds) {
  if (!i_bHolds) std::abort();
}

// Where the client connects; the kernel completes each handshake, and accept takes it.
class Listener {
 public:
  Listener() : m_fd(zezar_test::ListenOnLoopback(1, m_port)) {}  // throws: the run stops
  uint16_t Port() const { return m_port; }
  UniqueFd Accept() const {
    return UniqueFd(::accept4(m_fd.get(), nullptr, nullptr, SOCK_CLOEXEC));
  }

 private:
  uint16_t m_port = 0;  // before m_fd, which is made with it
  UniqueFd m_fd;
};

// The lowest free descriptor number: it climbs if anything leaks one.
int LowestFreeDescriptor() {
  const int fd = ::dup(0);
  ::close(fd);
  return fd;
}

template <typename Operation>
void AllowingOverflow(Operation i_operation) {
  try {
    i_operation();
  } catch (const std::overflow_error&) {
    // Uptime's answer beyond 2^64 - 1: the one exception a router's answer may cause.
  }
}

void RunSession(Zastra& io_client) {
  io_client.Version();
  io_client.Pass("admin");
  io_client.IsAdmin();
  io_client.Pass(std::string(70, 'u'));
  AllowingOverflow([&] { io_client.IsUser(); });
  io_client.IsDialAllowed();
  io_client.IsDialmodeAllowed();
  io_client.IsRouteAllowed();
  io_client.IsAddLinkAllowed();
  io_client.IsHaltAllowed();
  io_client.IsRebootAllowed();

  const std::vector<Zastra::Channel*>& channels = io_client.GetChannels();
  Require(channels.size() <= 256);
  for (Zastra::Channel* pChannel : channels) {
    pChannel->Type();
    pChannel->Status();
    pChannel->IP();
    pChannel->Phone();
    pChannel->InOut();
    pChannel->OnlineTime();
    pChannel->Time();
    pChannel->ChargeTime();
    pChannel->Charge();
    pChannel->Rate();
    pChannel->Quantity();
  }
  const std::vector<Zastra::Circuit*>& circuits = io_client.GetCircuits();
  Require(circuits.size() <= 255);
  for (Zastra::Circuit* pCircuit : circuits) {
    pCircuit->Name();
    pCircuit->Device();
    pCircuit->CanSetHupTimeOut();
    pCircuit->HupTimeOut(0);
    pCircuit->HupTimeOut(120);
  }

  io_client.Dial();
  io_client.Hangup();
  io_client.Dialmode(Zastra::Auto);
  io_client.Dialmode(Zastra::_Default);
  io_client.Route(-1);
  io_client.Route(2);
  io_client.Links(0);
  io_client.AddLink();
  io_client.RemoveLink();
  io_client.CPU();
  io_client.Date();
  Require(io_client.Timetable().size() <= Zastra::kMaxMultilineAnswerSize);
  Require(io_client.Support("root").size() <= Zastra::kMaxMultilineAnswerSize);
  AllowingOverflow([&] { io_client.Uptime(); });

  Require(io_client.GetFile("root", "f").size() <=
          static_cast<std::size_t>(Zastra::kMaxDownloadSize));
  const std::string content(1500, 'u');
  io_client.UploadFile("root", "f", content);
  std::istringstream stream(content);
  io_client.UploadFile("root", "f", stream);
  io_client.Reboot();
  io_client.Halt();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Zastra::InitSignalHandler();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* i_pData, size_t i_uSize) {
  static const Listener listener;
  const int freeDescriptor = LowestFreeDescriptor();

  Zastra client;
  client.Connect("127.0.0.1", listener.Port());
  UniqueFd peer = listener.Accept();
  Require(static_cast<bool>(peer));
  // All at once, without waiting: what does not fit the socket's buffers is not sent.
  const ssize_t sent = ::send(peer.get(), i_pData, i_uSize, MSG_NOSIGNAL | MSG_DONTWAIT);
  static_cast<void>(sent);
  ::shutdown(peer.get(), SHUT_WR);

  RunSession(client);
  // The peer resets rather than closes, and first, so that a session that ends connected
  // leaves no socket waiting in TIME_WAIT.
  const linger abort{1, 0};
  setsockopt(peer.get(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  peer.reset();
  client.Disconnect();

  Require(LowestFreeDescriptor() == freeDescriptor);
  return 0;
}
