#include "cli/KeyringPasswords.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/Failure.h"
#include "keyring/RouterPasswords.h"
#include "text/Translation.h"

namespace ctl {

namespace {

using text::Format;
using text::Tr;

const char* LoginName(keyring::Role i_role) {
  return i_role == keyring::Role::Admin ? Tr("administrator") : Tr("user");
}

// The terminal as it was, back whatever happens while a password is typed.
class NoEcho {
 public:
  explicit NoEcho(int i_fd) : m_fd(i_fd) {
    if (::tcgetattr(m_fd, &m_saved) != 0)
      throw Failure(ExitCode::Failure, Format(Tr("terminal: {1}"), {std::strerror(errno)}));
    termios raw = m_saved;
    // Byte by byte, so that no line limit of the terminal cuts a long password short; Ctrl-C
    // arrives as a byte, so that the terminal is restored before zezarctl ends.
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | ISIG);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    ::tcsetattr(m_fd, TCSAFLUSH, &raw);
  }
  ~NoEcho() { ::tcsetattr(m_fd, TCSANOW, &m_saved); }  // what is typed next stays
  NoEcho(const NoEcho&) = delete;
  NoEcho& operator=(const NoEcho&) = delete;

 private:
  int m_fd;
  termios m_saved{};
};

std::string ReadFromTerminal(const std::string& i_strPrompt) {
  std::string strPassword;
  {
    // Echo off before the prompt shows: nothing typed after it is echoed or flushed away.
    const NoEcho noEcho(STDIN_FILENO);
    std::fprintf(stderr, "%s", i_strPrompt.c_str());
    std::fflush(stderr);
    // One more byte than a password may have tells a long one from one at the limit.
    while (strPassword.size() <= keyring::kMaxPasswordBytes) {
      char c = 0;
      const ssize_t n = ::read(STDIN_FILENO, &c, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0 || c == 0x03 || (c == 0x04 && strPassword.empty())) {
        std::fputc('\n', stderr);
        throw Failure(ExitCode::Failure, Tr("cancelled"));
      }
      if (c == '\n' || c == '\r') break;
      if (c == 0x7f || c == '\b') {
        // Take back a whole UTF-8 character.
        while (!strPassword.empty() && (strPassword.back() & 0xC0) == 0x80) strPassword.pop_back();
        if (!strPassword.empty()) strPassword.pop_back();
        continue;
      }
      if (c == 0x15) {  // Ctrl-U: start again
        strPassword.clear();
        continue;
      }
      strPassword += c;
    }
  }
  std::fputc('\n', stderr);
  return strPassword;
}

std::string ReadFromInput() {
  std::string strInput;
  char buffer[1024];
  // One line and its line end, and a byte more to tell that more follows.
  while (strInput.size() <= keyring::kMaxPasswordBytes + 2) {
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0)
      throw Failure(ExitCode::Failure, Format(Tr("standard input: {1}"), {std::strerror(errno)}));
    if (n == 0) break;
    strInput.append(buffer, static_cast<std::size_t>(n));
  }
  if (!strInput.empty() && strInput.back() == '\n') strInput.pop_back();
  if (!strInput.empty() && strInput.back() == '\r') strInput.pop_back();
  return strInput;
}

std::string Describe(PasswordOrigin i_origin, const char* i_pKey,
                     const std::string& i_strPreferencesFile, const std::string& i_strPasswordFile,
                     const char* i_pVariable) {
  switch (i_origin) {
    case PasswordOrigin::PasswordFile:
      return Format(Tr("--password-file {1}"), {i_strPasswordFile});
    case PasswordOrigin::Environment:
      return std::string("$") + i_pVariable;
    case PasswordOrigin::Preferences:
      return Format(Tr("the preferences: {1} in {2}"), {i_pKey, i_strPreferencesFile});
    case PasswordOrigin::Keyring:
    case PasswordOrigin::None:
      break;
  }
  return {};
}

// For programs: never translated.
const char* OriginName(PasswordOrigin i_origin) {
  switch (i_origin) {
    case PasswordOrigin::PasswordFile:
      return "password-file";
    case PasswordOrigin::Environment:
      return "environment";
    case PasswordOrigin::Preferences:
      return "preferences";
    case PasswordOrigin::Keyring:
      return "keyring";
    case PasswordOrigin::None:
      break;
  }
  return "none";
}

std::string DescribeKeyring(const keyring::Found& i_found) {
  if (i_found.items == 0) return {};
  std::string strText = Format(Tr("the keyring: \"{1}\""), {i_found.label});
  if (i_found.locked) strText += Tr(", locked");
  if (i_found.items > 1)
    strText += Format(Tr(", the newest of {1} items"), {std::to_string(i_found.items)});
  return strText;
}

}  // namespace

void AddKeyringPasswords(Settings& io_settings, keyring::Unlock i_unlock) {
  if (io_settings.adminPassword || io_settings.userPassword) return;
  const keyring::Answer answer =
      keyring::LookUp(io_settings.Where(), i_unlock,
                      i_unlock == keyring::Unlock::Prompt ? kKeyringPromptBound : kKeyringBound);
  keyring::RouterPasswords passwords = keyring::ForTheRouter(answer);
  io_settings.keyringProblem = passwords.problem;
  if (!io_settings.adminPassword && passwords.admin) {
    io_settings.adminPassword = std::move(passwords.admin);
    io_settings.adminFrom = PasswordOrigin::Keyring;
  }
  if (!io_settings.userPassword && passwords.user) {
    io_settings.userPassword = std::move(passwords.user);
    io_settings.userFrom = PasswordOrigin::Keyring;
  }
}

std::string ReadPassword(const std::string& i_strPrompt, EmptyPassword i_empty) {
  const std::string strPassword =
      ::isatty(STDIN_FILENO) == 1 ? ReadFromTerminal(i_strPrompt) : ReadFromInput();
  if (strPassword.empty() && i_empty == EmptyPassword::None) return strPassword;
  if (const std::string strProblem = keyring::PasswordProblem(strPassword); !strProblem.empty())
    throw Failure(ExitCode::Usage, strProblem);
  return strPassword;
}

Output SetPassword(const Settings& i_settings, keyring::Role i_role) {
  const keyring::Item item{i_settings.Where(), i_role};
  // TRANSLATORS: {1} is the login (user or administrator), {2} the router's HOST:PORT.
  const std::string strPassword =
      ReadPassword(Format(Tr("{1} password for {2}: "), {LoginName(i_role), item.where}));
  if (const std::string strProblem = keyring::Store(item, strPassword, kKeyringPromptBound);
      !strProblem.empty())
    throw Failure(ExitCode::Failure, Format(Tr("keyring: {1}"), {strProblem}));
  Output output;
  output.json = {{"router", item.where},
                 {"role", keyring::RoleAttribute(i_role)},
                 {"label", keyring::Label(item)},
                 {"stored", true}};
  output.text = Format(Tr("stored in the keyring as \"{1}\"\n"), {keyring::Label(item)});
  return output;
}

Output ForgetPassword(const Settings& i_settings, keyring::Role i_role) {
  const keyring::Item item{i_settings.Where(), i_role};
  const keyring::Forgotten forgotten = keyring::Forget(item, kKeyringPromptBound);
  if (!forgotten.problem.empty())
    throw Failure(ExitCode::Failure, Format(Tr("keyring: {1}"), {forgotten.problem}));
  Output output;
  output.json = {{"router", item.where},
                 {"role", keyring::RoleAttribute(i_role)},
                 {"forgotten", forgotten.items}};
  output.text = forgotten.items == 0
                    ? Format(Tr("the keyring holds no {1} password for {2}\n"),
                             {LoginName(i_role), item.where})
                    : Format(text::TrPlural("forgot {1} item of the keyring\n",
                                            "forgot {1} items of the keyring\n",
                                            static_cast<unsigned long>(forgotten.items)),
                             {std::to_string(forgotten.items)});
  return output;
}

Output WherePasswords(const Settings& i_settings, const std::string& i_strPreferencesFile,
                      const std::string& i_strPasswordFile) {
  // Where they are, not what: the keyring is asked without unlocking it.
  const keyring::Answer answer =
      keyring::LookUp(i_settings.Where(), keyring::Unlock::Never, kKeyringBound);
  Output output;
  output.json = {{"router", i_settings.Where()}};
  // --password-file gives the one password that both logins try.
  const bool bFile = i_settings.adminFrom == PasswordOrigin::PasswordFile;
  // Only with no password from elsewhere does the keyring give both.
  const bool bAnyElse =
      i_settings.adminFrom != PasswordOrigin::None || i_settings.userFrom != PasswordOrigin::None;
  const auto line = [&](keyring::Role i_role, PasswordOrigin i_origin, const char* i_pKey,
                        const char* i_pVariable, const keyring::Found& i_found) {
    std::string strSource =
        Describe(i_origin, i_pKey, i_strPreferencesFile, i_strPasswordFile, i_pVariable);
    if (i_origin == PasswordOrigin::None && bAnyElse) {
      strSource = Tr("none");
      if (i_found.items > 0)  // the keyring stands in only for no password at all
        strSource += Format(Tr(" (the keyring's \"{1}\" is not asked while the other login has "
                               "a password elsewhere)"),
                            {i_found.label});
    } else if (i_origin == PasswordOrigin::None) {
      strSource = DescribeKeyring(i_found);
      if (strSource.empty() && !answer.problem.empty())
        strSource = Format(Tr("none (keyring: {1})"), {answer.problem});
      if (strSource.empty()) strSource = Tr("none");
    }
    const PasswordOrigin origin = i_origin != PasswordOrigin::None ? i_origin
                                  : i_found.items > 0 && !bAnyElse ? PasswordOrigin::Keyring
                                                                   : PasswordOrigin::None;
    output.json[keyring::RoleAttribute(i_role)] = {{"source", OriginName(origin)},
                                                   {"keyringItems", i_found.items},
                                                   {"keyringLabel", i_found.label},
                                                   {"locked", i_found.locked}};
    output.text += Format(Tr("{1}: {2}\n"), {LoginName(i_role), strSource});
  };
  line(keyring::Role::Admin, i_settings.adminFrom, "RouterAdminPass", "ZEZAR_ADMIN_PASS",
       answer.admin);
  line(keyring::Role::User, bFile ? PasswordOrigin::PasswordFile : i_settings.userFrom,
       "RouterUserPass", "ZEZAR_USER_PASS", answer.user);
  return output;
}

}  // namespace ctl
