#include "preferences/TomlPreferences.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <string_view>
#include <utility>
#include <vector>

#include "posix/UniqueFd.h"
#include "preferences/Toml.h"

namespace preferences {

namespace {

PreferenceValue ValueOf(const toml::node& i_node) {
  if (const auto* pInteger = i_node.as_integer()) {
    const int64_t value = pInteger->get();
    return static_cast<long>(value);
  }
  if (const auto* pFloat = i_node.as_floating_point()) {
    const double value = pFloat->get();
    // Truncated towards zero and held to the range of a long; not-a-number is 0.
    if (std::isnan(value)) return 0L;
    if (value >= static_cast<double>(std::numeric_limits<long>::max())) {
      return std::numeric_limits<long>::max();
    }
    if (value <= static_cast<double>(std::numeric_limits<long>::min())) {
      return std::numeric_limits<long>::min();
    }
    return static_cast<long>(value);
  }
  if (const auto* pBoolean = i_node.as_boolean()) return pBoolean->get();
  if (const auto* pString = i_node.as_string()) return pString->get();
  return OtherValue{};
}

// Where a text goes wrong, and how.
struct Flaw {
  std::size_t line = 1;  // from 1
  std::size_t column = 1;
  const char* what = "";
};

// The bare values TOML has: booleans, numbers, dates and times. Each reader reads one kind
// from io_uPos, which it moves past what it read; false when the text does not begin with one.
class BareValue {
 public:
  // Whether the whole text is one bare value.
  static bool Is(std::string_view i_text) {
    for (const Reader reader : {&DateTime, &Time, &Special, &Number, &Boolean}) {
      std::size_t uPos = 0;
      if (reader(i_text, uPos) && uPos == i_text.size()) return true;
    }
    return false;
  }

  // A date that a blank and a time may follow, as one value.
  static bool IsDate(std::string_view i_text) {
    std::size_t uPos = 0;
    return Date(i_text, uPos) && uPos == i_text.size();
  }

 private:
  using Reader = bool (*)(std::string_view, std::size_t&);

  static bool Is(std::string_view i_text, std::size_t i_uPos, char i_c) {
    return i_uPos < i_text.size() && i_text[i_uPos] == i_c;
  }
  static bool Accept(std::string_view i_text, std::size_t& io_uPos, std::string_view i_chars) {
    if (io_uPos >= i_text.size() || i_chars.find(i_text[io_uPos]) == std::string_view::npos) {
      return false;
    }
    ++io_uPos;
    return true;
  }
  static bool Digits(std::string_view i_text, std::size_t& io_uPos, int i_iCount) {
    for (int i = 0; i < i_iCount; ++i) {
      if (!Accept(i_text, io_uPos, "0123456789")) return false;
    }
    return true;
  }
  // Digits of this set, single underscores between them.
  static bool Run(std::string_view i_text, std::size_t& io_uPos, std::string_view i_digits) {
    if (!Accept(i_text, io_uPos, i_digits)) return false;
    for (;;) {
      if (Is(i_text, io_uPos, '_')) {
        ++io_uPos;
        if (!Accept(i_text, io_uPos, i_digits)) return false;
      } else if (!Accept(i_text, io_uPos, i_digits)) {
        return true;
      }
    }
  }

  static bool Word(std::string_view i_text, std::size_t& io_uPos,
                   std::initializer_list<std::string_view> i_words) {
    for (const std::string_view word : i_words) {
      if (i_text.substr(io_uPos, word.size()) == word) {
        io_uPos += word.size();
        return true;
      }
    }
    return false;
  }

  static bool Boolean(std::string_view i_text, std::size_t& io_uPos) {
    return Word(i_text, io_uPos, {"true", "false"});
  }
  static bool Special(std::string_view i_text, std::size_t& io_uPos) {
    Accept(i_text, io_uPos, "+-");
    return Word(i_text, io_uPos, {"inf", "nan"});
  }
  static bool Number(std::string_view i_text, std::size_t& io_uPos) {
    for (const auto& [prefix, digits] : kPrefixed) {
      if (i_text.substr(io_uPos, 2) == prefix) {
        io_uPos += 2;
        return Run(i_text, io_uPos, digits);
      }
    }
    Accept(i_text, io_uPos, "+-");
    // No leading zeros: 0 alone, or a run that starts with 1 to 9.
    if (Is(i_text, io_uPos, '0')) {
      ++io_uPos;
    } else if (!Run(i_text, io_uPos, "0123456789")) {
      return false;
    }
    if (Accept(i_text, io_uPos, ".") && !Run(i_text, io_uPos, "0123456789")) return false;
    if (Accept(i_text, io_uPos, "eE")) {
      Accept(i_text, io_uPos, "+-");
      return Run(i_text, io_uPos, "0123456789");
    }
    return true;
  }
  static bool Date(std::string_view i_text, std::size_t& io_uPos) {
    return Digits(i_text, io_uPos, 4) && Accept(i_text, io_uPos, "-") &&
           Digits(i_text, io_uPos, 2) && Accept(i_text, io_uPos, "-") && Digits(i_text, io_uPos, 2);
  }
  static bool Time(std::string_view i_text, std::size_t& io_uPos) {
    if (!(Digits(i_text, io_uPos, 2) && Accept(i_text, io_uPos, ":") &&
          Digits(i_text, io_uPos, 2) && Accept(i_text, io_uPos, ":") &&
          Digits(i_text, io_uPos, 2))) {
      return false;
    }
    if (Accept(i_text, io_uPos, ".")) {
      if (!Digits(i_text, io_uPos, 1)) return false;
      while (Digits(i_text, io_uPos, 1)) {
      }
    }
    return true;
  }
  static bool DateTime(std::string_view i_text, std::size_t& io_uPos) {
    if (!Date(i_text, io_uPos)) return false;
    if (io_uPos == i_text.size()) return true;
    if (!Accept(i_text, io_uPos, "Tt ") || !Time(i_text, io_uPos)) return false;
    if (Accept(i_text, io_uPos, "Zz")) return true;
    if (Accept(i_text, io_uPos, "+-")) {
      return Digits(i_text, io_uPos, 2) && Accept(i_text, io_uPos, ":") &&
             Digits(i_text, io_uPos, 2);
    }
    return true;
  }

  // Hexadecimal, octal and binary integers: no sign, no point, no exponent.
  static constexpr std::pair<std::string_view, std::string_view> kPrefixed[] = {
      {"0x", "0123456789abcdefABCDEF"}, {"0o", "01234567"}, {"0b", "01"}};
};

// toml++ 3.3.0 reaches undefined behaviour on some malformed input before it reports it: it
// asks its whitespace table about a non-ASCII character outside a string (where TOML allows
// none; it reads a bare value such as 1="x" or 7'x' to its end that way), and it assumes that
// a table header's first character begins a key, that a value begins where an array expects
// one, and that a time follows a date and a blank. This screen finds such input first, knowing
// just enough TOML to tell comments, keys, table headers, strings, arrays, inline tables and
// bare values apart; everything it refuses is malformed TOML anyway.
class Screen {
 public:
  explicit Screen(std::string_view i_text) : m_text(i_text) {}

  std::optional<Flaw> FirstFlaw() {
    while (m_uPos < m_text.size() && !m_flaw) {
      switch (m_state) {
        case State::Code:
          Code();
          break;
        case State::Comment:
          ToLineEnd();
          break;
        case State::Basic:
          String('"', true);
          break;
        case State::Literal:
          String('\'', false);
          break;
        case State::MultiBasic:
          MultiLine('"', true);
          break;
        case State::MultiLiteral:
          MultiLine('\'', false);
          break;
      }
    }
    return m_flaw;
  }

 private:
  enum class State { Code, Comment, Basic, Literal, MultiBasic, MultiLiteral };
  // What the code at hand belongs to, innermost last: the top level, a table header, an inline
  // table or an array. Keys come first at the top level and in inline tables, values after '='.
  enum class Kind { Top, Header, Table, Array };
  struct Frame {
    Kind kind;
    bool value;  // past the '=' (always in an array)
  };

  static bool IsAscii(char c) { return static_cast<unsigned char>(c) < 0x80; }
  static bool IsBlank(char c) { return c == ' ' || c == '\t'; }
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
  static bool IsControl(char c) {
    return (c >= 0 && c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F;
  }
  // What ends a bare value for the parser.
  static bool EndsBareValue(char c) {
    return IsBlank(c) || c == '\r' || c == '\n' || c == ']' || c == '}' || c == ',' || c == '#';
  }
  static bool BeginsKey(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '"' || c == '\'';
  }

  // The parser looks at most 127 characters ahead to tell what a value is.
  static constexpr std::size_t kLongestBareValue = 100;

  char At(std::size_t i_uPos) const { return i_uPos < m_text.size() ? m_text[i_uPos] : '\0'; }
  Frame& Top() { return m_frames.back(); }

  void Flag(std::size_t i_uPos, const char* i_pWhat) {
    m_flaw = Flaw{m_uLine, i_uPos - m_uLineStart + 1, i_pWhat};
  }

  // Moves past one byte, counting lines.
  void Step() {
    if (m_text[m_uPos] == '\n') {
      ++m_uLine;
      m_uLineStart = m_uPos + 1;
    }
    m_previous = m_text[m_uPos];
    ++m_uPos;
  }

  // Checks the byte at the current position as one outside any string.
  bool Plain() {
    const char c = m_text[m_uPos];
    if (!IsAscii(c)) Flag(m_uPos, "a character other than ASCII outside a string");
    // The parser takes vertical tabs and form feeds for white space where it expects a value.
    if (IsControl(c)) Flag(m_uPos, "a control character outside a string");
    return !m_flaw;
  }

  void Code() {
    if (!Plain()) return;
    const char c = m_text[m_uPos];
    if (c == '\n') {
      m_bLineStart = true;
      if (Top().kind == Kind::Header) m_frames.pop_back();  // a header cut off
      if (Top().kind == Kind::Top) Top().value = false;
      return Step();
    }
    if (IsBlank(c) || c == '\r') return Step();
    const bool bLineStart = std::exchange(m_bLineStart, false);
    if (c == '#') {
      m_state = State::Comment;
      return Step();
    }
    if (Top().value) return Value(c);
    switch (c) {
      case '"':
      case '\'':
        // A quote opens a key only where a key or one of its dotted parts begins.
        if (m_previous == '\n' || IsBlank(m_previous) || m_previous == '\r' || m_previous == '.' ||
            m_previous == '{' || m_previous == ',' || m_previous == '[') {
          return OpenString(c);
        }
        break;
      case '[':
        if (m_frames.size() == 1 && bLineStart) return Header();
        break;
      case ']':
        if (Top().kind == Kind::Header) m_frames.pop_back();
        break;
      case '=':
        if (Top().kind != Kind::Header) Top().value = true;
        break;
      case '}':
        if (Top().kind == Kind::Table) m_frames.pop_back();
        break;
      default:
        break;
    }
    Step();
  }

  void Value(char c) {
    switch (c) {
      case '"':
      case '\'':
        return OpenString(c);
      case '[':
        m_frames.push_back({Kind::Array, true});
        break;
      case '{':
        m_frames.push_back({Kind::Table, false});
        break;
      case ']':
        if (Top().kind == Kind::Array) m_frames.pop_back();
        break;
      case '}':
        // Where an array expects a value, the parser assumes that one begins.
        if (Top().kind == Kind::Array) return Flag(m_uPos, "a '}' inside an array");
        if (Top().kind == Kind::Table) m_frames.pop_back();
        break;
      case ',':
        if (Top().kind == Kind::Table) Top().value = false;
        break;
      default:
        return Bare();
    }
    Step();
  }

  // A number, a date, a time, a boolean: the parser guesses which from its characters and then
  // trusts the guess, so only what TOML allows may reach it. A date, one blank and a digit
  // begin a date and time.
  void Bare() {
    const std::size_t uStart = m_uPos;
    std::size_t uEnd = uStart;
    const auto scan = [&] {
      while (uEnd < m_text.size() && !EndsBareValue(m_text[uEnd])) ++uEnd;
    };
    scan();
    if (BareValue::IsDate(m_text.substr(uStart, uEnd - uStart)) && At(uEnd) == ' ' &&
        IsDigit(At(uEnd + 1))) {
      ++uEnd;
      scan();
    }
    while (m_uPos < uEnd) {
      if (!Plain()) return;
      Step();
    }
    const std::string_view value = m_text.substr(uStart, uEnd - uStart);
    if (value.size() > kLongestBareValue || !BareValue::Is(value)) {
      Flag(uStart, "not a value TOML knows");
    }
  }

  void OpenString(char i_quote) {
    if (At(m_uPos + 1) == i_quote && At(m_uPos + 2) == i_quote) {
      m_state = i_quote == '"' ? State::MultiBasic : State::MultiLiteral;
      for (int i = 0; i < 3; ++i) Step();
      return;
    }
    m_state = i_quote == '"' ? State::Basic : State::Literal;
    Step();
  }

  // "[key]" or "[[key]]" at the start of a line: a key must follow the brackets.
  void Header() {
    std::size_t uPos = m_uPos + 1;
    if (At(uPos) == '[') ++uPos;
    while (IsBlank(At(uPos))) ++uPos;
    if (!BeginsKey(At(uPos))) return Flag(uPos, "a table header without a key");
    m_frames.push_back({Kind::Header, false});
    while (m_uPos < uPos) Step();
  }

  void ToLineEnd() {
    if (m_text[m_uPos] == '\n') {
      m_state = State::Code;  // which counts the line
      return;
    }
    Step();
  }

  // A one-line string; its end, or the end of the line, returns to code.
  void String(char i_quote, bool i_bEscapes) {
    const char c = m_text[m_uPos];
    if (c == '\n') {
      m_state = State::Code;
      return;
    }
    if (i_bEscapes && c == '\\') {
      Step();
      if (m_uPos < m_text.size() && m_text[m_uPos] != '\n') Step();
      return;
    }
    if (c == i_quote) m_state = State::Code;
    Step();
  }

  void MultiLine(char i_quote, bool i_bEscapes) {
    const char c = m_text[m_uPos];
    if (i_bEscapes && c == '\\') {
      // A backslash before white space joins lines: the parser then asks its whitespace table
      // about the first character after the white space. Any other escape is one character.
      std::size_t uPos = m_uPos + 1;
      while (uPos < m_text.size() &&
             (IsBlank(m_text[uPos]) || m_text[uPos] == '\r' || m_text[uPos] == '\n')) {
        ++uPos;
      }
      if (uPos < m_text.size() && !IsAscii(m_text[uPos])) {
        while (m_uPos < uPos) Step();  // for the line and column of the flaw
        return Flag(uPos, "a character other than ASCII after a backslash");
      }
      Step();
      if (m_uPos < m_text.size()) Step();
      return;
    }
    if (c == i_quote && At(m_uPos + 1) == i_quote && At(m_uPos + 2) == i_quote) {
      // The closing quotes, and up to two more that belong to the string.
      for (int i = 0; i < 5 && At(m_uPos) == i_quote; ++i) Step();
      m_state = State::Code;
      return;
    }
    Step();
  }

  std::string_view m_text;
  std::size_t m_uPos = 0;
  std::size_t m_uLine = 1;
  std::size_t m_uLineStart = 0;  // where the current line begins
  State m_state = State::Code;
  std::vector<Frame> m_frames{{Kind::Top, false}};
  char m_previous = '\n';    // the byte before the current one
  bool m_bLineStart = true;  // nothing but blanks yet on this line of code
  std::optional<Flaw> m_flaw;
};

}  // namespace

std::filesystem::path TomlPreferences::DefaultPath() {
  if (const char* pExplicit = std::getenv("ZEZAR_PREFERENCES"); pExplicit && *pExplicit) {
    return pExplicit;
  }
  std::filesystem::path base;
  if (const char* pConfig = std::getenv("XDG_CONFIG_HOME"); pConfig && *pConfig) {
    base = pConfig;
  } else if (const char* pHome = std::getenv("HOME"); pHome && *pHome) {
    base = std::filesystem::path(pHome) / ".config";
  } else {
    base = ".config";
  }
  return base / "zezar" / "preferences.toml";
}

TomlPreferences::TomlPreferences(std::filesystem::path i_path, std::string i_strDomain)
    : m_path(std::move(i_path)), m_strDomain(std::move(i_strDomain)) {
  Load();
}

void TomlPreferences::AppSynchronize(const std::string& i_strDomain) {
  if (i_strDomain == m_strDomain) Load();
}

std::optional<PreferenceValue> TomlPreferences::CopyAppValue(const std::string& i_strKey,
                                                             const std::string& i_strDomain) const {
  if (i_strDomain != m_strDomain) return std::nullopt;
  const auto found = m_values.find(i_strKey);
  if (found == m_values.end()) return std::nullopt;
  return found->second;
}

std::optional<std::string> TomlPreferences::ReadText() {
  // Non-blocking: a FIFO with no writer, or a device, must not hold up the start.
  const posix::UniqueFd file(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!file) {
    const int error = errno;
    // No file: no preferences, no problem.
    if (error != ENOENT && error != ENOTDIR) {
      m_problem = m_path.string() + ": cannot be read: " + std::strerror(error);
    }
    return std::nullopt;
  }
  struct stat status {};
  if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
    m_problem = m_path.string() + ": not a regular file";
    return std::nullopt;
  }
  // Built only when needed: a well-formed file is read on every tick.
  const auto tooLarge = [&] {
    m_problem = m_path.string() + ": larger than " + std::to_string(kMaxFileSize / 1024) + " KiB";
    return std::nullopt;
  };
  if (status.st_size > static_cast<off_t>(kMaxFileSize)) return tooLarge();
  // One byte more than allowed, for a file that grew since it was measured.
  std::string strText(kMaxFileSize + 1, '\0');
  std::size_t uLength = 0;
  while (uLength < strText.size()) {
    const ssize_t got = ::read(file.get(), strText.data() + uLength, strText.size() - uLength);
    if (got < 0 && errno == EINTR) continue;  // a regular file: no wait for anything outside
    if (got < 0) {
      m_problem = m_path.string() + ": cannot be read: " + std::strerror(errno);
      return std::nullopt;
    }
    if (got == 0) break;
    uLength += static_cast<std::size_t>(got);
  }
  if (uLength > kMaxFileSize) return tooLarge();
  strText.resize(uLength);
  return strText;
}

void TomlPreferences::Load() {
  m_values.clear();
  m_problem.reset();

  const std::optional<std::string> text = ReadText();
  if (!text) return;
  const auto where = [&](std::size_t i_uLine, std::size_t i_uColumn) {
    return m_path.string() + ":" + std::to_string(i_uLine) + ":" + std::to_string(i_uColumn) + ": ";
  };
  if (const std::optional<Flaw> flaw = Screen(*text).FirstFlaw()) {
    m_problem = where(flaw->line, flaw->column) + flaw->what;
    return;
  }
  try {
    const toml::table table = toml::parse(*text, m_path.string());
    for (const auto& [key, node] : table) m_values.emplace(std::string(key.str()), ValueOf(node));
  } catch (const toml::parse_error& parseError) {
    const toml::source_position& begin = parseError.source().begin;
    m_problem = where(begin.line, begin.column) + std::string(parseError.description());
  }
}

}  // namespace preferences
