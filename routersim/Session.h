#pragma once

// One connection to the simulated daemon: it takes request lines and gives the bytes of their
// answers. The access level lives here, for the life of the connection.

#include <cstdint>
#include <string>
#include <string_view>

#include "routersim/Router.h"

namespace routersim {

class Session {
 public:
  static constexpr uint16_t kGuestLevel = 1;
  static constexpr uint16_t kUserLevel = 2;
  static constexpr uint16_t kAdminLevel = 4;

  // The router is shared with the server and changed by commands such as "dial".
  Session(Router& io_router, std::string i_strSalt);

  // The answer to one request line (without its line end): one line, or several for
  // "timetable" and "support", each ended by a line feed.
  std::string Answer(std::string_view i_strLine);

 private:
  std::string Login(std::string_view i_strPassword, bool i_bDigest);
  bool Allowed(std::string_view i_strCommand) const;
  Channel* FindChannel(std::string_view i_strName);

  Router& m_router;
  std::string m_strSalt;
  uint16_t m_level = kGuestLevel;
  uint64_t m_uRateAnswers = 0;
};

}  // namespace routersim
