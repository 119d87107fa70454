#include "hosts/tray/NotificationPolicy.h"

#include "text/Translation.h"

namespace zezar {

namespace {

using text::Format;
using text::Tr;
using text::TrPlural;

std::string Describe(const router::Connection& i_state) {
  if (i_state.kind == router::Connection::Unreachable) return Tr("No answer from the router");
  if (i_state.channels.empty()) return Tr("No channel online");
  const std::size_t count = i_state.channels.size();
  return Format(TrPlural("Online on {1} channel", "Online on {1} channels", count),
                {std::to_string(count)});
}

Notice Tell(const router::Connection& i_from, const router::Connection& i_to) {
  if (i_to.kind == router::Connection::Unreachable)
    return {Tr("Router unreachable"), Describe(i_to)};
  if (i_from.kind == router::Connection::Unreachable) {
    return {
        i_to.kind == router::Connection::Online ? Tr("Back online") : Tr("Router reachable again"),
        Describe(i_to)};
  }
  const std::vector<std::string> up = router::ChannelsMissing(i_to.channels, i_from.channels);
  const std::vector<std::string> down = router::ChannelsMissing(i_from.channels, i_to.channels);
  const std::string strUp = Format(TrPlural("Channel {1} online", "Channels {1} online", up.size()),
                                   {router::LabelList(up)});
  if (down.empty()) return {strUp, Describe(i_to)};
  if (up.empty()) {
    return {Format(TrPlural("Channel {1} offline", "Channels {1} offline", down.size()),
                   {router::LabelList(down)}),
            Describe(i_to)};
  }
  // TRANSLATORS: after "Channel 2 online, ", as in "Channel 2 online, channel 1 offline".
  const std::string strDown =
      Format(TrPlural("channel {1} offline", "channels {1} offline", down.size()),
             {router::LabelList(down)});
  return {Format(Tr("{1}, {2}"), {strUp, strDown}), Describe(i_to)};
}

}  // namespace

std::optional<Notice> NotificationPolicy::Observe(
    const router::Connection& i_state, const std::optional<timeline::TimelineEvent>& i_event) {
  // The state at start is no news, nor the one found on waking: the sleep was the machine's.
  if (!m_told || (i_event && i_event->monitor == "awake")) {
    m_told = i_state;
    m_candidate.reset();
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
