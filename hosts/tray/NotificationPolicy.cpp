#include "hosts/tray/NotificationPolicy.h"

namespace zezar {

namespace {

using router::Connection;

std::string Join(const std::vector<std::string>& i_names) {
  std::string strOut;
  for (const std::string& name : i_names) strOut += (strOut.empty() ? "" : ", ") + name;
  return strOut;
}

// "Channel 2 online", "Channels 1, 2 offline".
std::string Channels(const std::vector<std::string>& i_names, const char* i_pHow) {
  return (i_names.size() == 1 ? "Channel " : "Channels ") + Join(i_names) + " " + i_pHow;
}

std::string Describe(const router::Connection& i_state) {
  if (i_state.kind == router::Connection::Unreachable) return "No answer from the router";
  if (i_state.channels.empty()) return "No channel online";
  return "Online on " + std::to_string(i_state.channels.size()) +
         (i_state.channels.size() == 1 ? " channel" : " channels");
}

Notice Tell(const router::Connection& i_from, const router::Connection& i_to) {
  if (i_to.kind == router::Connection::Unreachable) return {"Router unreachable", Describe(i_to)};
  if (i_from.kind == router::Connection::Unreachable) {
    return {i_to.kind == router::Connection::Online ? "Back online" : "Router reachable again",
            Describe(i_to)};
  }
  const std::vector<std::string> up = router::ChannelsMissing(i_to.channels, i_from.channels);
  const std::vector<std::string> down = router::ChannelsMissing(i_from.channels, i_to.channels);
  std::string strSummary;
  if (!up.empty()) strSummary = Channels(up, "online");
  if (!down.empty()) {
    std::string strDown = Channels(down, "offline");
    if (!strSummary.empty()) strDown[0] = 'c';  // "..., channel 1 offline"
    strSummary += (strSummary.empty() ? "" : ", ") + strDown;
  }
  return {strSummary, Describe(i_to)};
}

}  // namespace

std::optional<Notice> NotificationPolicy::Observe(
    const router::Connection& i_state, const std::optional<timeline::TimelineEvent>& i_event) {
  if (!m_told) {  // the state at start is no news
    m_told = i_state;
    return std::nullopt;
  }
  if (i_state.SameConnection(*m_told)) {  // back to what the user knows: a flap, untold
    m_candidate.reset();
    return std::nullopt;
  }
  if (!m_candidate || !i_state.SameConnection(*m_candidate)) {
    m_candidate = i_state;
    m_iPolls = 0;
    m_bCandidateUsers = i_event && !i_event->cause.empty();
  }
  if (++m_iPolls < kPollsToHold) return std::nullopt;
  const router::Connection from = *m_told;
  m_told = *m_candidate;
  m_candidate.reset();
  if (m_bCandidateUsers) return std::nullopt;  // the user knows: they did it
  return Tell(from, *m_told);
}

}  // namespace zezar
