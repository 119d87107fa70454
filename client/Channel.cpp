#include "TextNumbers.h"
#include "client/Zastra.h"

namespace {

// Reads up to `count` unsigned 64-bit figures in order; the first one missing leaves it and
// every later figure at 0.
template <std::size_t N>
void ReadFigures(std::string_view i_strText, uint64_t (&o_figures)[N]) {
  std::size_t uPos = 0;
  for (uint64_t& figure : o_figures) {
    const auto value = zastra_text::ExtractInteger<uint64_t>(i_strText, uPos);
    if (!value) return;
    figure = *value;
  }
}

constexpr uint32_t kLastTwoFigureProtocol = 10;  // later daemons report 32-bit counters and wraps

}  // namespace

Zastra::Channel::Channel(Zastra& i_oZastra, std::string i_strName)
    : m_oZastra(i_oZastra), m_strName(std::move(i_strName)) {}

std::string Zastra::Channel::Ask(const char* i_pKeyword) {
  return m_oZastra.GetAnswer(i_pKeyword + m_strName);
}

Zastra::Channel::Status_t Zastra::Channel::Status() {
  return Ask("status ") == "Online" ? Online : Offline;
}

std::string Zastra::Channel::IP() { return Ask("ip "); }
std::string Zastra::Channel::Phone() { return Ask("phone "); }
std::string Zastra::Channel::InOut() { return Ask("inout "); }
std::string Zastra::Channel::OnlineTime() { return Ask("online-time "); }
std::string Zastra::Channel::Time() { return Ask("time "); }
std::string Zastra::Channel::ChargeTime() { return Ask("chargetime "); }
std::string Zastra::Channel::Charge() { return Ask("charge "); }

Zastra::Channel::Traffic_t Zastra::Channel::Rate() {
  uint64_t figures[2] = {0, 0};
  ReadFigures(Ask("rate "), figures);
  return Traffic_t{figures[0], figures[1]};
}

Zastra::Channel::Traffic_t Zastra::Channel::Quantity() {
  const std::string strAnswer = Ask("quantity ");
  if (m_oZastra.Version().protocol <= kLastTwoFigureProtocol) {
    uint64_t figures[2] = {0, 0};
    ReadFigures(strAnswer, figures);
    return Traffic_t{figures[0], figures[1]};
  }
  // overflowsIn, counterIn, overflowsOut, counterOut; combined modulo 2^64.
  uint64_t figures[4] = {0, 0, 0, 0};
  ReadFigures(strAnswer, figures);
  return Traffic_t{(figures[0] << 32) + figures[1], (figures[2] << 32) + figures[3]};
}
