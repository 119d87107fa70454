#include "preferences/TomlFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include "CallWithStack.h"
#include "posix/UniqueFd.h"

namespace preferences {

namespace {

// toml++ recurses once per array or inline table inside another (at most 256 deep: it refuses
// more) and, as it finishes a table or unwinds from an error, once per part of the longest chain
// of keys (a.a.a... in a key or a table header: at most one part per two bytes). Measured on a
// painted stack at the worst a 16 KiB file can do (254 inline tables around a dotted key of
// 7 700 parts that then clashes): 0.85 MB optimised (g++ -O2), 65 bytes of it per key part;
// unoptimised or under AddressSanitizer (the sanitize preset, the fuzzer) up to 5.0 MB, 480
// bytes per key part. Each figure here is more than twice what it stands for.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZEZAR_LARGE_FRAMES 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || !defined(__OPTIMIZE__)
#define ZEZAR_LARGE_FRAMES 1
#endif
#ifdef ZEZAR_LARGE_FRAMES
constexpr std::size_t kStackForValues = std::size_t{3} << 20;
constexpr std::size_t kStackPerKeyPart = 1024;
#else
constexpr std::size_t kStackForValues = std::size_t{1} << 20;
constexpr std::size_t kStackPerKeyPart = 160;
#endif

std::size_t StackFor(std::size_t i_uTextBytes) {
  return kStackForValues + (i_uTextBytes / 2 + 1) * kStackPerKeyPart;
}

[[noreturn]] void Refuse(const std::filesystem::path& i_path, const std::string& i_strWhy) {
  throw TomlFileError(i_path.string() + ": " + i_strWhy);
}

}  // namespace

std::optional<std::string> ReadTomlText(const std::filesystem::path& i_path,
                                        std::size_t i_uMaxBytes) {
  // Non-blocking: a FIFO with no writer, or a device, must not hold up the reader.
  const posix::UniqueFd file(::open(i_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!file) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) return std::nullopt;
    Refuse(i_path, std::string("cannot be read: ") + std::strerror(error));
  }
  struct stat status {};
  if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
    Refuse(i_path, "not a regular file");
  }
  // Built only when needed: a well-formed file is read on every tick.
  const auto tooLarge = [&] {
    Refuse(i_path, "larger than " + std::to_string(i_uMaxBytes / 1024) + " KiB");
  };
  if (status.st_size > static_cast<off_t>(i_uMaxBytes)) tooLarge();
  // One byte more than allowed, for a file that grew since it was measured.
  std::string strText(i_uMaxBytes + 1, '\0');
  std::size_t uLength = 0;
  while (uLength < strText.size()) {
    const ssize_t got = ::read(file.get(), strText.data() + uLength, strText.size() - uLength);
    if (got < 0 && errno == EINTR) continue;  // a regular file: no wait for anything outside
    if (got < 0) Refuse(i_path, std::string("cannot be read: ") + std::strerror(errno));
    if (got == 0) break;
    uLength += static_cast<std::size_t>(got);
  }
  if (uLength > i_uMaxBytes) tooLarge();
  strText.resize(uLength);
  return strText;
}

void ParseTomlText(const std::string& i_strText, const std::filesystem::path& i_path,
                   const std::function<void(const toml::table&)>& i_use) {
  // The table is made, used and destroyed on the parsing thread: its destruction recurses as
  // deep as its keys nest.
  const std::error_code error = CallWithStack(StackFor(i_strText.size()), [&] {
    toml::table table;
    try {
      table = toml::parse(std::string_view(i_strText));
    } catch (const toml::parse_error& parseError) {
      const toml::source_position& begin = parseError.source().begin;
      throw TomlFileError(i_path.string() + ":" + std::to_string(begin.line) + ":" +
                          std::to_string(begin.column) + ": " +
                          std::string(parseError.description()));
    }
    i_use(table);
  });
  if (error) Refuse(i_path, "cannot be read: no thread for the parser: " + error.message());
}

bool ReadTomlFile(const std::filesystem::path& i_path, std::size_t i_uMaxBytes,
                  const std::function<void(const toml::table&)>& i_use) {
  const std::optional<std::string> text = ReadTomlText(i_path, i_uMaxBytes);
  if (!text) return false;
  ParseTomlText(*text, i_path, i_use);
  return true;
}

}  // namespace preferences
