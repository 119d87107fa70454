#pragma once

// zezarctl's one error model: a Failure carries the exit code of its class and the one line
// that says what happened. Commands throw it; main prints "zezarctl: <message>" and exits.

#include <stdexcept>
#include <string>

#include "text/Translation.h"

namespace ctl {

// Documented in --help and zezarctl(1); scripts rely on them, so they never change.
enum class ExitCode {
  Ok = 0,
  Failure = 1,         // a local file or the output could not be read or written; cancelled
  Usage = 2,           // bad command line, password file, preferences; no router address
  NoConnection = 3,    // the router cannot be reached, or stopped answering
  LoginRefused = 4,    // the passwords give no user rights
  NotPermitted = 5,    // the login may not run the command
  RouterRefused = 6,   // the router refused the command or answered nonsense
  TransferFailed = 7,  // a file transfer was cut off
};

// The client's std::overflow_error, as a user hears of it (with ExitCode::RouterRefused); in
// English, the message id of its translations.
inline constexpr const char* kOverflowMessage = N_("the router answered a number beyond 64 bits");

class Failure : public std::runtime_error {
 public:
  Failure(ExitCode i_code, const std::string& i_strMessage)
      : std::runtime_error(i_strMessage), m_code(i_code) {}
  ExitCode Code() const { return m_code; }

 private:
  ExitCode m_code;
};

}  // namespace ctl
