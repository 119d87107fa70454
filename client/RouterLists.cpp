// The per-connection channel and circuit lists. The client owns their objects; Disconnect
// frees them.

#include <memory>

#include "TextNumbers.h"
#include "client/Zastra.h"

namespace {

// A router has a handful of channels and circuits. A count beyond this is garbage, and must not
// make the client allocate an object per unit of it.
constexpr int kMaxListCount = 255;

int CountFrom(const std::string& i_strAnswer) {
  const int count = zastra_text::ExtractedOrZero<int>(i_strAnswer);
  return (count >= 0 && count <= kMaxListCount) ? count : 0;
}

template <typename T, typename... Args>
void Append(std::vector<T*>& io_list, Args&&... args) {
  auto object = std::make_unique<T>(std::forward<Args>(args)...);
  io_list.push_back(object.get());
  object.release();  // owned by the list from here on
}

}  // namespace

int Zastra::Channels() { return CountFrom(GetAnswer("channels")); }

int Zastra::Circuits() { return CountFrom(GetAnswer("circuits")); }

const std::vector<Zastra::Channel*>& Zastra::GetChannels() {
  if (!m_oChannelData.empty() || !IsConnected()) return m_oChannelData;
  const int n = Channels();
  if (zastra_text::LeadingInteger(GetAnswer("pppoe")) == 1) {
    Append(m_oChannelData, *this, "pppoe");
    m_oChannelData.back()->SetType(Channel::PPPoE);
  }
  for (int i = 1; i <= n; ++i) {
    Append(m_oChannelData, *this, std::to_string(i));
    m_oChannelData.back()->SetType(Channel::ISDN);
  }
  return m_oChannelData;
}

const std::vector<Zastra::Circuit*>& Zastra::GetCircuits() {
  if (!m_oCircuitData.empty() || !IsConnected()) return m_oCircuitData;
  const int n = Circuits();
  for (int i = 1; i <= n; ++i) Append(m_oCircuitData, *this, i);
  return m_oCircuitData;
}
