// The client as a whole: lifetime, connection, request and answer framing, the version cache.

#include "client/Zastra.h"

#include <limits>
#include <stdexcept>

#include "TextNumbers.h"

namespace {

constexpr std::size_t kMaxCommandLength = 250;  // GetAnswer cuts longer commands

bool StartsWith(const std::string& i_strText, const char* i_pPrefix) {
  return i_strText.rfind(i_pPrefix, 0) == 0;
}

}  // namespace

Zastra::ConnectError::ConnectError(std::string i_strMessage)
    : m_strMessage(std::move(i_strMessage)) {}

std::string Zastra::ConnectError::GetMessage() const { return m_strMessage; }

Zastra::Zastra() : m_iPort(0), m_pConnectionLostCallbackObj(nullptr) {}

Zastra::~Zastra() { Disconnect(); }

bool Zastra::Connect(std::string i_strHostname, uint32_t i_iPort) {
  m_strHost = i_strHostname;
  m_iPort = i_iPort;
  return m_oSocket.Connect(std::move(i_strHostname), i_iPort);
}

bool Zastra::IsConnected() const { return m_oSocket.IsConnected(); }

void Zastra::Disconnect() {
  while (!m_oChannelData.empty()) {
    delete m_oChannelData.back();
    m_oChannelData.pop_back();
  }
  while (!m_oCircuitData.empty()) {
    delete m_oCircuitData.back();
    m_oCircuitData.pop_back();
  }
  m_oSocket.Disconnect();
}

std::string Zastra::GetHost() const { return m_oSocket.GetHost(); }

uint32_t Zastra::GetPort() const { return m_oSocket.GetPort(); }

void Zastra::SetDeadline(std::optional<std::chrono::steady_clock::time_point> i_deadline) {
  m_oSocket.SetDeadline(i_deadline);
}

void Zastra::SetConnectionLostCallback(AbstractCallback* callback) {
  m_pConnectionLostCallbackObj = callback;
}

void Zastra::ConnectionLost() {
  if (m_pConnectionLostCallbackObj != nullptr) (*m_pConnectionLostCallbackObj)();
}

void Zastra::InitSignalHandler() { Socket::InitSignalHandler(); }

std::string Zastra::GetAnswer(std::string i_strCommand) {
  if (!IsConnected()) return {};
  m_oSocket.SetConnectionLostObj(this);
  if (i_strCommand.size() > kMaxCommandLength) i_strCommand.resize(kMaxCommandLength);
  m_oSocket.Write(i_strCommand + "\r\n");
  std::string strLine = m_oSocket.Read();
  if (!StartsWith(strLine, "OK ")) return {};
  return strLine.substr(3);
}

std::string Zastra::GetMultilineAnswer(std::string i_strCommand) {
  std::string strResult;
  if (!IsConnected()) return strResult;
  m_oSocket.SetConnectionLostObj(this);
  m_oSocket.Write(i_strCommand + "\r\n");
  // The closing line is consumed but not examined. A time-out closes the connection, after
  // which Read returns "" and so ends the answer. A router that keeps sending body lines would
  // hold the client for ever; past either bound the rest of the answer is not read, so the
  // connection is out of step and dropped.
  const auto deadline = Socket::Clock::now() + std::chrono::seconds(kMaxMultilineAnswerSeconds);
  // (The caller's own deadline, if nearer, bounds every line anyway.)
  for (std::string strLine = m_oSocket.ReadLine(deadline); StartsWith(strLine, " ");
       strLine = m_oSocket.ReadLine(deadline)) {
    if (strResult.size() + strLine.size() + 1 > kMaxMultilineAnswerSize) {
      m_oSocket.ConnectionLost();
      break;
    }
    strResult += strLine;
    strResult += '\n';
  }
  return strResult;
}

uint64_t Zastra::atoull(const char* Buffer) const {
  // Every character is one decimal place; a non-digit counts as the digit 0.
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  uint64_t Result = 0;
  for (const char* p = Buffer; *p != '\0'; ++p) {
    const uint64_t digit = (*p >= '0' && *p <= '9') ? static_cast<uint64_t>(*p - '0') : 0;
    if (Result > (kMax - digit) / 10) throw std::overflow_error("overflow");
    Result = Result * 10 + digit;
  }
  return Result;
}

Zastra::Version_t Zastra::Version() {
  if (m_oVersionCache.protocol == 0) {
    const std::string strAnswer = GetAnswer("version");
    const std::size_t uBlank = strAnswer.find(' ');
    if (uBlank != std::string::npos) {
      m_oVersionCache.protocol = static_cast<uint32_t>(
          zastra_text::LeadingInteger(std::string_view(strAnswer).substr(0, uBlank)));
      m_oVersionCache.version = strAnswer.substr(uBlank + 1);
    }
  }
  return m_oVersionCache;
}
