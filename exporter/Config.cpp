#include "Config.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

#include "posix/RegularFile.h"
#include "preferences/Toml.h"
#include "preferences/TomlFile.h"
#include "router/State.h"
#include "text/MacRoman.h"

namespace exporter {

namespace {

// Names travel in URLs, label values and a web page: a conservative alphabet keeps each of
// those simple and unambiguous.
bool IsTargetName(const std::string& i_strName) {
  return !i_strName.empty() && i_strName.size() <= 128 &&
         std::all_of(i_strName.begin(), i_strName.end(), [](char c) {
           return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '.' || c == '_' || c == '-';
         });
}

// A label name as Prometheus allows it, not one of its reserved "__" names.
bool IsLabelName(const std::string& i_strName) {
  if (i_strName.empty() || i_strName.rfind("__", 0) == 0) return false;
  if (i_strName[0] >= '0' && i_strName[0] <= '9') return false;
  return std::all_of(i_strName.begin(), i_strName.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  });
}

bool IsHostText(const std::string& i_strHost) {
  return !i_strHost.empty() && i_strHost.size() <= 253 &&
         std::all_of(i_strHost.begin(), i_strHost.end(),
                     [](char c) { return c > ' ' && c < 0x7f; });
}

// The first line of a password file that others cannot read. Opened without blocking, so a
// FIFO or a device is refused rather than waited for or read without end.
std::string ReadPasswordFile(const std::string& i_strPath, const std::string& i_strWhere) {
  const std::string strAbout = i_strWhere + ": " + i_strPath + ": ";
  const posix::RegularFile file = posix::ReadRegularFile(i_strPath, kMaxPasswordFileBytes);
  if (file.problem == posix::RegularFile::Problem::NotRegular)
    throw ConfigError(strAbout + "not a regular file");
  if (file.problem != posix::RegularFile::Problem::None)
    throw ConfigError(strAbout + std::strerror(file.errnum));
  if ((file.mode & (S_IROTH | S_IWOTH)) != 0)
    throw ConfigError(strAbout + "others may read this password file; chmod o-rw it");
  const std::string& strText = file.bytes;
  const std::size_t uEnd = strText.find('\n');
  if (uEnd == std::string::npos && file.bMore)
    throw ConfigError(strAbout + "the first line is too long");
  std::string strLine = strText.substr(0, uEnd);
  if (!strLine.empty() && strLine.back() == '\r') strLine.pop_back();
  if (strLine.empty()) throw ConfigError(strAbout + "no password on its first line");
  if (strLine.find('\0') != std::string::npos || strLine.find('\r') != std::string::npos)
    throw ConfigError(strAbout + "the password holds a NUL or a line end");
  const std::optional<std::string> macRoman = text::Utf8ToMacRoman(strLine);
  if (!macRoman)
    throw ConfigError(strAbout + "the password has a character the router cannot take");
  return *macRoman;
}

RouterConfig ReadRouter(const toml::table& i_table, const std::string& i_strWhere) {
  static const std::set<std::string> kKeys = {"name",          "address", "port",
                                              "password_file", "labels",  "max_channel_rate"};
  for (const auto& [key, value] : i_table) {
    if (kKeys.count(std::string(key.str())) == 0)
      throw ConfigError(i_strWhere + ": unknown key " + std::string(key.str()));
  }
  RouterConfig router;
  const auto name = i_table["name"].value<std::string>();
  if (!name || !IsTargetName(*name))
    throw ConfigError(i_strWhere + ": name must be 1 to 128 letters, digits, '.', '_' or '-'");
  router.name = *name;
  const std::string strWhere = i_strWhere + " (" + router.name + ")";
  const auto address = i_table["address"].value<std::string>();
  if (!address || !IsHostText(*address))
    throw ConfigError(strWhere + ": address must be a host name or IPv4 address");
  router.address = *address;
  if (const toml::node* pPort = i_table.get("port")) {
    const auto port = pPort->value<int64_t>();
    if (!pPort->is_integer() || !port || *port < 1 || *port > 65535)
      throw ConfigError(strWhere + ": port must be a number from 1 to 65535");
    router.port = static_cast<uint16_t>(*port);
  }
  const auto passwordFile = i_table["password_file"].value<std::string>();
  if (!passwordFile || passwordFile->empty())
    throw ConfigError(strWhere + ": password_file is missing");
  router.password = ReadPasswordFile(*passwordFile, strWhere);
  router.channelCapacity = router::kDefaultChannelCapacity;
  if (const toml::node* pRate = i_table.get("max_channel_rate")) {
    const auto rate = pRate->value<int64_t>();
    if (!pRate->is_integer() || !rate || *rate < 1 || *rate > (int64_t{1} << 40))
      throw ConfigError(strWhere + ": max_channel_rate must be a positive number");
    router.channelCapacity = router::kBytesPerSecondPerMaxChannelRate * static_cast<double>(*rate);
  }
  if (const toml::node* pLabels = i_table.get("labels")) {
    const toml::table* pTable = pLabels->as_table();
    if (pTable == nullptr) throw ConfigError(strWhere + ": labels must be a table of strings");
    for (const auto& [key, value] : *pTable) {
      const std::string strKey(key.str());
      const auto text = value.value<std::string>();
      if (!IsLabelName(strKey) || !value.is_string() || !text)
        throw ConfigError(strWhere + ": labels." + strKey +
                          ": a label name (letters, digits, '_') with a string value");
      router.labels[strKey] = *text;
    }
  }
  return router;
}

}  // namespace

const RouterConfig* Config::Find(const std::string& i_strName) const {
  const auto found = byName.find(i_strName);
  return found == byName.end() ? nullptr : &routers[found->second];
}

std::shared_ptr<const Config> LoadConfig(const std::filesystem::path& i_path) {
  auto config = std::make_shared<Config>();
  bool bFound = false;
  try {
    bFound = preferences::ReadTomlFile(i_path, kMaxConfigBytes, [&](const toml::table& i_table) {
      for (const auto& [key, value] : i_table) {
        if (key.str() != "router")
          throw ConfigError(i_path.string() + ": unknown key " + std::string(key.str()));
      }
      const toml::node* pRouters = i_table.get("router");
      if (pRouters == nullptr) return;
      const toml::array* pArray = pRouters->as_array();
      if (pArray == nullptr)
        throw ConfigError(i_path.string() + ": router must be [[router]] tables");
      for (std::size_t i = 0; i < pArray->size(); ++i) {
        const std::string strWhere = i_path.string() + ": router " + std::to_string(i + 1);
        const toml::table* pTable = (*pArray)[i].as_table();
        if (pTable == nullptr) throw ConfigError(strWhere + ": not a table");
        RouterConfig router = ReadRouter(*pTable, strWhere);
        if (!config->byName.emplace(router.name, config->routers.size()).second)
          throw ConfigError(strWhere + ": the name " + router.name + " is taken already");
        config->routers.push_back(std::move(router));
      }
    });
  } catch (const preferences::TomlFileError& error) {
    throw ConfigError(error.what());
  }
  if (!bFound) throw ConfigError(i_path.string() + ": no such file");
  return config;
}

}  // namespace exporter
