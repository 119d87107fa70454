#include "preferences/TomlFile.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include "CallWithStack.h"
#include "posix/RegularFile.h"

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
  using Problem = posix::RegularFile::Problem;
  posix::RegularFile file = posix::ReadRegularFile(i_path, i_uMaxBytes);
  if (file.problem == Problem::CannotOpen && (file.errnum == ENOENT || file.errnum == ENOTDIR))
    return std::nullopt;
  if (file.problem == Problem::NotRegular) Refuse(i_path, "not a regular file");
  if (file.problem != Problem::None)
    Refuse(i_path, std::string("cannot be read: ") + std::strerror(file.errnum));
  if (file.bMore) Refuse(i_path, "larger than " + std::to_string(i_uMaxBytes / 1024) + " KiB");
  return std::move(file.bytes);
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
