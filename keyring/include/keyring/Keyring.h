#pragma once

// The router's passwords in the desktop's keyring (the Secret Service), one item per router and
// login with the attributes application = "zezar", router = HOST:PORT, role = "admin" | "user".
//
// Every call runs in a short-lived child process, the helper zezar-keyring, never in the
// caller: the Secret Service's client library talks through a bus thread of its own, and a
// thread could take the signals the router client's bounds rely on (its alarm, the quit
// signals), which must interrupt the main thread; and it brings GLib, megabytes the monitor
// need not keep resident. The helper holds nothing of the caller's but the pipes of its
// request and answer, and it is killed when the answer is late or the caller goes.
//
// Errors: nothing is thrown for what the keyring says; each result carries a problem in words
// (the Secret Service's own, or that it did not answer in time), empty when all went well.
// Passwords are UTF-8 text as stored, never in a problem.

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace keyring {

inline constexpr const char* kApplication = "zezar";

enum class Role { User, Admin };
const char* RoleAttribute(Role i_role);  // "user", "admin"

// Whether a locked collection may be unlocked, which asks the user through the desktop's
// prompt. The monitor never does at login; a command the user runs may.
enum class Unlock { Never, Prompt };

// One login's item. With several for the same router and login, the one changed last wins.
struct Found {
  std::optional<std::string> password;  // UTF-8; nothing without a usable item
  int items = 0;                        // how many items match
  bool locked = false;                  // the item that wins is locked: no password
  bool notText = false;                 // the item that wins holds bytes that are not UTF-8
  std::string label;                    // of the item that wins
};

struct Answer {
  Found admin;
  Found user;
  std::string problem;  // the keyring could not be asked; then nothing was found

  static Answer Failed(std::string i_strProblem) {
    Answer answer;
    answer.problem = std::move(i_strProblem);
    return answer;
  }
  bool Locked() const { return admin.locked || user.locked; }
};

struct Item {
  std::string where;  // HOST:PORT
  Role role = Role::User;
};

// "Zezar: HOST:PORT (user)" or "(administrator)", as the keyring shows it.
std::string Label(const Item& i_item);

// ---- blocking, each within its bound ----

Answer LookUp(const std::string& i_strWhere, Unlock i_unlock, std::chrono::milliseconds i_within);
// Stores the password (UTF-8) as the item's secret, replacing the item there was; a problem
// or "".
std::string Store(const Item& i_item, const std::string& i_strPassword,
                  std::chrono::milliseconds i_within);
struct Forgotten {
  int items = 0;
  std::string problem;
};
Forgotten Forget(const Item& i_item, std::chrono::milliseconds i_within);

// ---- a lookup the caller's event loop waits for ----

class ChildCall;

// Started at once; the caller watches Fd() for input and calls Read() each time it is
// readable, until Read() gives the answer (at once when Fd() is negative: no child started).
// Going away kills and reaps the child.
class PendingLookup {
 public:
  PendingLookup(const std::string& i_strWhere, Unlock i_unlock);
  ~PendingLookup();
  PendingLookup(const PendingLookup&) = delete;
  PendingLookup& operator=(const PendingLookup&) = delete;

  int Fd() const;
  // Takes what the child has written so far; the answer once it has all arrived (the pipe
  // closed), else nothing. Never blocks.
  std::optional<Answer> Read();

 private:
  std::unique_ptr<ChildCall> m_call;
};

}  // namespace keyring
