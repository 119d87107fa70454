#pragma once

// sd-event and sd-bus calls return a negative errno on failure. Check turns one into a
// std::system_error naming the call and its object ("sd_event_add_io stdin: Bad file
// descriptor"), so that no failed call is passed over silently.

#include <string_view>
#include <system_error>

#include <string>

namespace runloop {

inline int Check(int i_iResult, std::string_view i_what) {
  if (i_iResult < 0)
    throw std::system_error(-i_iResult, std::generic_category(), std::string(i_what));
  return i_iResult;
}

}  // namespace runloop
