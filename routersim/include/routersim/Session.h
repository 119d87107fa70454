#pragma once

// One connection to the simulated daemon: it takes the bytes the client sent and gives the
// bytes to send back. Between requests it reads lines; during a file transfer it reads and
// writes raw blocks of at most 1024 bytes, each answered by the acknowledgement byte 6. The
// access level lives here, for the life of the connection.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "routersim/Faults.h"
#include "routersim/Router.h"

namespace routersim {

// Requests answered, by keyword, across every session of one server.
using RequestCounts = std::map<std::string, uint64_t, std::less<>>;

// What a session asks of the server beyond sending its bytes.
enum class SessionRequest { None, Close, Reboot, Halt };

class Session {
 public:
  // The router is shared with the server and changed by commands such as "dial"; the faults
  // and the counts, when given, are shared too.
  Session(Router& io_router, std::string i_strSalt, AnswerFaults* io_pFaults = nullptr,
          RequestCounts* io_pCounts = nullptr);

  // Everything the client sent since the last call, in order; returns what to send back. It
  // stops answering once that passes the router's limit of output (the server then closes the
  // connection): a client that sends a buffer of acknowledgements or of requests and never reads
  // gets no more than the limit made.
  std::string Feed(std::string_view i_strBytes);
  // Between requests, with no line begun: closing the connection loses nothing.
  bool WaitsForRequest() const { return m_mode == Mode::Lines && m_strPending.empty(); }
  // The answer to one request line (without its line end): one line, several for
  // "timetable" and "support", or the start of a transfer.
  std::string Answer(std::string_view i_strLine);
  // Set once the server has to act after sending what Feed returned; read it once.
  SessionRequest TakeRequest();

 private:
  enum class Mode { Lines, Sending, Receiving };
  static constexpr std::size_t kBlockSize = 1024;
  static constexpr std::size_t kMaxLineLength = 65536;  // no client of ours sends more

  std::string Login(std::string_view i_strPassword, bool i_bDigest);
  bool Allowed(std::string_view i_strCommand) const;
  Channel* FindChannel(std::string_view i_strName);
  Circuit* FindCircuit(std::string_view i_strNumber);
  std::string Command(std::string_view i_strKeyword, std::string_view i_strArgument);
  std::string ChannelQuery(std::string_view i_strKeyword, const Channel& i_channel);
  std::string HupTimeout(std::string_view i_strArgument);
  std::string Support(std::string_view i_strPassword) const;
  std::string StartSending(std::string_view i_strArgument);
  std::string StartReceiving(std::string_view i_strArgument);
  std::string NextBlock();
  std::string FeedReceived(std::string_view i_strBytes, std::size_t& o_uUsed);
  // Whether a file of this size may be stored under this name within the store's limits.
  bool StoreHasRoom(const std::string& i_strName, uint64_t i_uSize) const;
  uint64_t Uptime() const;

  Router& m_router;
  std::string m_strSalt;
  AnswerFaults* m_pFaults;
  RequestCounts* m_pCounts;
  uint16_t m_level;
  uint64_t m_uRateAnswers = 0;
  SessionRequest m_request = SessionRequest::None;

  Mode m_mode = Mode::Lines;
  std::string m_strPending;   // a line not yet complete
  std::string m_strFileName;  // of the transfer in progress
  std::string m_strData;      // the bytes being sent, or received so far
  uint64_t m_uAnnounced = 0;  // the size the transfer announced
  uint64_t m_uDone = 0;       // bytes sent (and acknowledged), or received
  uint64_t m_uLimit = 0;      // the transfer stops here (a "cut" fault, or its size)
};

}  // namespace routersim
