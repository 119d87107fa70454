#include "text/Translation.h"

#include <libintl.h>
#include <unistd.h>

#include <clocale>
#include <filesystem>
#include <system_error>
#include <vector>

namespace text {

namespace {

constexpr const char* kDomain = "zezar";

// The catalogues of an installed program, else those the build made.
std::filesystem::path CatalogueFolder() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const std::filesystem::path installed =
        exe.parent_path().parent_path() / ZEZAR_INSTALLED_LOCALEDIR;
    if (std::filesystem::is_directory(installed, error)) return installed;
  }
  return ZEZAR_BUILD_LOCALEDIR;
}

}  // namespace

void InitTranslations() {
  for (const int category : {LC_MESSAGES, LC_TIME}) std::setlocale(category, "");
  bindtextdomain(kDomain, CatalogueFolder().c_str());
  bind_textdomain_codeset(kDomain, "UTF-8");
  textdomain(kDomain);
}

void UseEnglish() { std::setlocale(LC_MESSAGES, "C"); }

const char* Tr(const char* i_pMessage) { return dgettext(kDomain, i_pMessage); }

const char* TrPlural(const char* i_pSingular, const char* i_pPlural, unsigned long i_count) {
  return dngettext(kDomain, i_pSingular, i_pPlural, i_count);
}

std::string Format(const char* i_pPattern, std::initializer_list<std::string> i_arguments) {
  const std::vector<std::string> arguments(i_arguments);
  std::string strOut;
  for (const char* p = i_pPattern; *p != '\0'; ++p) {
    if (*p == '{' && p[1] == '{') {
      strOut += '{';
      ++p;
      continue;
    }
    if (*p == '{' && p[1] >= '1' && p[1] <= '9' && p[2] == '}') {
      const std::size_t uIndex = static_cast<std::size_t>(p[1] - '1');
      if (uIndex < arguments.size()) strOut += arguments[uIndex];
      p += 2;
      continue;
    }
    strOut += *p;
  }
  return strOut;
}

}  // namespace text
