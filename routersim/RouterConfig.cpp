#include "routersim/RouterConfig.h"

#include <limits>
#include <optional>
#include <set>
#include <string_view>

#include "preferences/TomlFile.h"

namespace routersim {

namespace {

// All 255 channels and 255 circuits with every key written out, each number at its largest, take
// 97 KiB; the rest leaves room for files to send. The parser's stack grows with the file
// (preferences/TomlFile.h): 11 MiB at most.
constexpr std::size_t kMaxConfigSize = 128 * 1024;

// The first control character in a text, as "U+000A", or nothing. A line feed in a configured
// text would put lines of its own on the wire.
std::optional<std::string> ControlCharacter(std::string_view i_text) {
  for (std::size_t i = 0; i < i_text.size(); ++i) {
    const auto c = static_cast<unsigned char>(i_text[i]);
    unsigned codePoint = c;
    if (c == 0xC2 && i + 1 < i_text.size()) {  // U+0080 to U+00BF in UTF-8
      codePoint = static_cast<unsigned char>(i_text[i + 1]);
    } else if (c >= 0x80) {
      continue;
    }
    if (codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F)) {
      constexpr std::string_view kDigits = "0123456789ABCDEF";
      return std::string("U+00") + kDigits[codePoint >> 4] + kDigits[codePoint & 0xF];
    }
  }
  return std::nullopt;
}

// Reads one table's keys, each at most once, and refuses any it was not asked for.
class Keys {
 public:
  Keys(const toml::table& i_table, std::string i_strWhere, std::string i_strFile)
      : m_table(i_table), m_strWhere(std::move(i_strWhere)), m_strFile(std::move(i_strFile)) {}

  [[noreturn]] void Fail(const toml::node& i_node, const std::string& i_strKey,
                         const std::string& i_strWhat) const {
    throw ConfigError(m_strFile + ":" + std::to_string(i_node.source().begin.line) + ": " +
                      m_strWhere + i_strKey + ": " + i_strWhat);
  }

  const toml::node* Find(const std::string& i_strKey) {
    m_used.insert(i_strKey);
    return m_table.get(i_strKey);
  }

  template <typename T>
  void Integer(const std::string& i_strKey, T& o_value, int64_t i_min, int64_t i_max) {
    const toml::node* pNode = Find(i_strKey);
    if (pNode == nullptr) return;
    const auto* pInteger = pNode->as_integer();
    if (pInteger == nullptr) Fail(*pNode, i_strKey, "not an integer");
    const int64_t value = pInteger->get();
    if (value < i_min || value > i_max) {
      Fail(*pNode, i_strKey,
           "out of range " + std::to_string(i_min) + " to " + std::to_string(i_max));
    }
    o_value = static_cast<T>(value);
  }
  void Unsigned(const std::string& i_strKey, uint64_t& o_value) {
    Integer(i_strKey, o_value, 0, std::numeric_limits<int64_t>::max());
  }
  void String(const std::string& i_strKey, std::string& o_value) {
    const toml::node* pNode = Find(i_strKey);
    if (pNode == nullptr) return;
    const auto* pString = pNode->as_string();
    if (pString == nullptr) Fail(*pNode, i_strKey, "not a string");
    CheckText(*pNode, i_strKey, pString->get());
    o_value = pString->get();
  }
  // Refuses a configured text that holds a control character.
  void CheckText(const toml::node& i_node, const std::string& i_strKey,
                 const std::string& i_strText) const {
    if (const auto control = ControlCharacter(i_strText)) {
      Fail(i_node, i_strKey, "holds a control character (" + *control + ")");
    }
  }
  void Boolean(const std::string& i_strKey, bool& o_value) {
    const toml::node* pNode = Find(i_strKey);
    if (pNode == nullptr) return;
    const auto* pBoolean = pNode->as_boolean();
    if (pBoolean == nullptr) Fail(*pNode, i_strKey, "not a boolean");
    o_value = pBoolean->get();
  }
  template <typename Each>
  void Strings(const std::string& i_strKey, Each i_each) {
    const toml::node* pNode = Find(i_strKey);
    if (pNode == nullptr) return;
    const auto* pArray = pNode->as_array();
    if (pArray == nullptr) Fail(*pNode, i_strKey, "not an array of strings");
    for (const toml::node& element : *pArray) {
      if (!element.is_string()) Fail(element, i_strKey, "not an array of strings");
      CheckText(element, i_strKey, element.as_string()->get());
      i_each(element.as_string()->get());
    }
  }
  const toml::table* Table(const std::string& i_strKey) {
    const toml::node* pNode = Find(i_strKey);
    if (pNode == nullptr) return nullptr;
    if (!pNode->is_table()) Fail(*pNode, i_strKey, "not a table");
    return pNode->as_table();
  }
  template <typename Each>
  void Tables(const std::string& i_strKey, Each i_each) {
    const toml::node* pNode = Find(i_strKey);
    if (pNode == nullptr) return;
    const auto* pArray = pNode->as_array();
    if (pArray == nullptr || !pArray->is_array_of_tables()) {
      Fail(*pNode, i_strKey, "not an array of tables ([[" + i_strKey + "]])");
    }
    for (const toml::node& element : *pArray) i_each(*element.as_table());
  }
  // Every key of the table must have been asked for.
  void Done() const {
    for (const auto& [key, node] : m_table) {
      if (!m_used.count(std::string(key.str()))) Fail(node, std::string(key.str()), "unknown key");
    }
  }
  const std::string& File() const { return m_strFile; }
  const std::string& Where() const { return m_strWhere; }

 private:
  const toml::table& m_table;
  std::string m_strWhere;  // "levels." for a sub-table
  std::string m_strFile;
  std::set<std::string> m_used;
};

Channel ReadChannel(const toml::table& i_table, const std::string& i_strWhere,
                    const std::string& i_strFile) {
  Keys keys(i_table, i_strWhere, i_strFile);
  Channel channel;
  keys.Boolean("online", channel.online);
  keys.String("address", channel.address);
  keys.String("phone", channel.phone);
  keys.String("inout", channel.inout);
  keys.String("online_time", channel.onlineTime);
  keys.String("time", channel.time);
  keys.String("charge_time", channel.chargeTime);
  keys.String("charge", channel.charge);
  keys.Unsigned("rate_in", channel.rateIn);
  keys.Unsigned("rate_out", channel.rateOut);
  keys.Unsigned("quantity_in", channel.quantityIn);
  keys.Unsigned("quantity_out", channel.quantityOut);
  keys.Done();
  return channel;
}

void ReadRouter(const toml::table& i_table, const std::string& i_strFile, Router& io_router) {
  Keys keys(i_table, "", i_strFile);
  keys.Integer("protocol", io_router.protocol, 1, 99);
  keys.String("version", io_router.versionText);
  keys.Unsigned("uptime", io_router.uptime);
  keys.Integer("cpu", io_router.cpu, 0, 100);
  keys.String("date", io_router.date);
  keys.Integer("route", io_router.route, 0, std::numeric_limits<int>::max());
  keys.String("dialmode", io_router.dialmode);
  if (io_router.dialmode != "off" && io_router.dialmode != "manual" &&
      io_router.dialmode != "auto") {
    keys.Fail(*i_table.get("dialmode"), "dialmode", "not off, manual or auto");
  }
  keys.Integer("reboot_seconds", io_router.rebootSeconds, 0, 3600);
  keys.Boolean("pppoe", io_router.pppoe);
  if (i_table.contains("channels") || i_table.contains("online")) {
    int channels = static_cast<int>(io_router.channels.size()), online = 0;
    for (const Channel& channel : io_router.channels) online += channel.online ? 1 : 0;
    keys.Integer("online", online, 0, 255);
    if (const toml::node* pCount = i_table.get("channels");
        pCount != nullptr && !pCount->is_integer()) {
      keys.Fail(*pCount, "channels", "a count; list channels as [[channel]]");
    }
    keys.Integer("channels", channels, 0, 255);
    io_router.channels = Router::WithChannels(channels, online).channels;
  }
  if (i_table.contains("channel")) {
    io_router.channels.clear();
    keys.Tables("channel", [&](const toml::table& i_channel) {
      io_router.channels.push_back(ReadChannel(
          i_channel, "channel " + std::to_string(io_router.channels.size() + 1) + ": ", i_strFile));
    });
    if (io_router.channels.size() > 255) keys.Fail(i_table, "channel", "more than 255");
  }
  if (const toml::table* pLink = keys.Table("pppoe_link")) {
    io_router.pppoeLink = ReadChannel(*pLink, "pppoe_link.", i_strFile);
  }
  if (i_table.contains("circuit")) {
    io_router.circuits.clear();
    keys.Tables("circuit", [&](const toml::table& i_circuit) {
      Keys circuit(i_circuit, "circuit " + std::to_string(io_router.circuits.size() + 1) + ": ",
                   i_strFile);
      Circuit entry;
      circuit.String("name", entry.name);
      circuit.String("device", entry.device);
      circuit.Integer("hup_timeout", entry.hupTimeout, 0, std::numeric_limits<int32_t>::max());
      circuit.Done();
      io_router.circuits.push_back(entry);
    });
  }
  if (i_table.contains("timetable")) {
    io_router.timetable.clear();
    keys.Strings("timetable",
                 [&](const std::string& i_line) { io_router.timetable.push_back(i_line); });
  }
  if (const toml::table* pPasswords = keys.Table("passwords")) {
    Keys passwords(*pPasswords, "passwords.", i_strFile);
    passwords.String("admin", io_router.adminPassword);
    passwords.String("user", io_router.userPassword);
    passwords.String("root", io_router.rootPassword);
    passwords.Done();
  }
  if (const toml::table* pLevels = keys.Table("levels")) {
    Keys levels(*pLevels, "levels.", i_strFile);
    levels.Integer("guest", io_router.levels.guest, 0, 65535);
    levels.Integer("user", io_router.levels.user, 0, 65535);
    levels.Integer("admin", io_router.levels.admin, 0, 65535);
    levels.Done();
  }
  if (const toml::table* pPermissions = keys.Table("permissions")) {
    Keys permissions(*pPermissions, "permissions.", i_strFile);
    if (pPermissions->contains("user")) {
      io_router.userMayRun.clear();
      permissions.Strings(
          "user", [&](const std::string& i_command) { io_router.userMayRun.insert(i_command); });
    }
    permissions.Done();
  }
  if (const toml::table* pLimits = keys.Table("limits")) {
    Keys limits(*pLimits, "limits.", i_strFile);
    Limits& io_limits = io_router.limits;
    limits.Integer("connections", io_limits.connections, 1, 100'000);
    int64_t idleSeconds =
        std::chrono::duration_cast<std::chrono::seconds>(io_limits.idleTimeout).count();
    limits.Integer("idle_timeout", idleSeconds, 1, 86'400);
    io_limits.idleTimeout = std::chrono::seconds(idleSeconds);
    limits.Integer("output_bytes", io_limits.outputBytes, 1024, int64_t{1} << 30);
    limits.Integer("store_bytes", io_limits.storeBytes, 0, int64_t{1} << 40);
    limits.Integer("store_files", io_limits.storeFiles, 0, 100'000);
    limits.Done();
  }
  if (const toml::table* pFiles = keys.Table("files")) {
    // A file's content goes in blocks, not lines: anything goes there, but not in its name.
    for (const auto& [name, node] : *pFiles) {
      const std::string strName(name.str());
      keys.CheckText(node, "files", strName);
      if (!node.is_string()) keys.Fail(node, "files." + strName, "not a string");
      io_router.files[strName] = node.as_string()->get();
    }
  }
  keys.Done();
}

}  // namespace

Router LoadRouterConfig(const std::filesystem::path& i_path) {
  Router router = Router::WithChannels(2, 1);
  try {
    const bool bFound = preferences::ReadTomlFile(
        i_path, kMaxConfigSize,
        [&](const toml::table& i_table) { ReadRouter(i_table, i_path.string(), router); });
    if (!bFound) throw ConfigError(i_path.string() + ": no such file");
  } catch (const preferences::TomlFileError& error) {
    throw ConfigError(error.what());
  }
  return router;
}

}  // namespace routersim
