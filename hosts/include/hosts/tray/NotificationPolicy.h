#pragma once

// When to tell the user of a change of the router, and in what words: a change is told once it
// has held for two polls (a shorter flap is not), never when a command from our menu made it,
// and always from what the user was last told: "Router unreachable", "Back online",
// "Channel 2 offline".

#include <optional>
#include <string>

#include "timeline/TimelineEvent.h"

namespace zezar {

struct Notice {
  std::string summary;
  std::string body;
  bool operator==(const Notice&) const = default;
};

class NotificationPolicy {
 public:
  static constexpr int kPollsToHold = 2;

  // One poll's state, and the timeline's event when the connection changed with it; what to
  // tell the user now, if anything.
  std::optional<Notice> Observe(const router::Connection& i_state,
                                const std::optional<timeline::TimelineEvent>& i_event);

 private:
  std::optional<router::Connection> m_told;  // what the user knows (or needs no word of)
  std::optional<router::Connection> m_candidate;
  int m_iPolls = 0;                // how long the candidate has held
  bool m_bCandidateUsers = false;  // a command of ours brought it
};

}  // namespace zezar
