#include "routersim/Session.h"

#include <charconv>

#include "client/Md5.h"

namespace routersim {

namespace {

std::string Ok(std::string_view i_strText) { return "OK " + std::string(i_strText) + "\n"; }
std::string Ok(uint64_t i_value) { return Ok(std::to_string(i_value)); }
const std::string kRefused = "ERR not allowed\n";
const std::string kUnknown = "ERR unknown command\n";

// Splits "keyword argument" at its first blank.
std::pair<std::string_view, std::string_view> Split(std::string_view i_strLine) {
  const std::size_t uBlank = i_strLine.find(' ');
  if (uBlank == std::string_view::npos) return {i_strLine, {}};
  return {i_strLine.substr(0, uBlank), i_strLine.substr(uBlank + 1)};
}

bool ToInt(std::string_view i_strText, int& o_value) {
  const auto [ptr, error] =
      std::from_chars(i_strText.data(), i_strText.data() + i_strText.size(), o_value);
  return error == std::errc{} && ptr == i_strText.data() + i_strText.size();
}

}  // namespace

Session::Session(Router& io_router, std::string i_strSalt)
    : m_router(io_router), m_strSalt(std::move(i_strSalt)) {}

std::string Session::Login(std::string_view i_strPassword, bool i_bDigest) {
  if (!i_strPassword.empty()) {
    const auto matches = [&](const std::string& i_strExpected) {
      if (i_strExpected.empty()) return false;
      return i_bDigest ? i_strPassword == Md5()(i_strExpected + m_strSalt)
                       : i_strPassword == i_strExpected;
    };
    if (matches(m_router.adminPassword)) {
      m_level = kAdminLevel;
    } else if (matches(m_router.userPassword)) {
      m_level = std::max(m_level, kUserLevel);
    }
  }
  return Ok(m_level);
}

bool Session::Allowed(std::string_view i_strCommand) const {
  if (m_level >= kAdminLevel) return true;
  return m_level >= kUserLevel && m_router.userMayRun.count(std::string(i_strCommand)) != 0;
}

Channel* Session::FindChannel(std::string_view i_strName) {
  if (i_strName == "pppoe") return m_router.pppoe ? &m_router.pppoeLink : nullptr;
  int number = 0;
  if (!ToInt(i_strName, number)) return nullptr;
  if (number < 1 || static_cast<std::size_t>(number) > m_router.channels.size()) return nullptr;
  return &m_router.channels[static_cast<std::size_t>(number) - 1];
}

std::string Session::Answer(std::string_view i_strLine) {
  const auto [keyword, argument] = Split(i_strLine);
  const bool bNew = m_router.protocol > 10;

  if (keyword == "version")
    return Ok(std::to_string(m_router.protocol) + " " + m_router.versionText);
  if (keyword == "salt") return bNew ? Ok(m_strSalt) : kUnknown;
  if (keyword == "pass") return bNew ? kUnknown : Login(argument, false);
  if (keyword == "md5pass") return bNew ? Login(argument, true) : kUnknown;
  if (m_level < kUserLevel) return kRefused;  // everything else needs a login

  if (keyword == "uptime") return Ok(m_router.uptime);
  if (keyword == "cpu") return Ok(m_router.cpu);
  if (keyword == "date") return Ok("Tue Dec  8 12:00:00 2026");
  if (keyword == "channels") return Ok(m_router.channels.size());
  if (keyword == "pppoe") return Ok(m_router.pppoe ? 1 : 0);
  if (keyword == "circuits") return Ok(uint64_t{0});
  if (keyword == "is-allowed") return Ok(Allowed(argument) ? 1 : 0);
  if (keyword == "route") {
    if (argument.empty()) return Ok(static_cast<uint64_t>(m_router.route));
    if (!Allowed("route") || !ToInt(argument, m_router.route)) return kRefused;
    return Ok(static_cast<uint64_t>(m_router.route));
  }
  if (keyword == "dialmode") {
    if (argument.empty()) return Ok(m_router.dialmode);
    if (!Allowed("dialmode") || (argument != "off" && argument != "manual" && argument != "auto")) {
      return kRefused;
    }
    m_router.dialmode = std::string(argument);
    return "OK\n";
  }
  if (keyword == "timetable") return " Mo-Fr 08:00-18:00 route 1\n Sa-Su 00:00-24:00 route 2\nOK\n";

  // Connection control works on the numbered channels, lowest first.
  if (keyword == "dial" || keyword == "addlink") {
    if (!Allowed(keyword)) return kRefused;
    for (Channel& channel : m_router.channels) {
      if (!channel.online) {
        channel.online = true;
        return "OK\n";
      }
    }
    return "ERR no free channel\n";
  }
  if (keyword == "hangup" || keyword == "removelink") {
    if (!Allowed(keyword == "hangup" ? "dial" : "addlink")) return kRefused;
    for (auto channel = m_router.channels.rbegin(); channel != m_router.channels.rend();
         ++channel) {
      if (channel->online) {
        channel->online = false;
        if (keyword == "removelink") break;
      }
    }
    return "OK\n";
  }
  if (keyword == "links") {
    uint64_t online = 0;
    for (const Channel& channel : m_router.channels) online += channel.online ? 1 : 0;
    return Ok(online);
  }
  if (keyword == "reboot" || keyword == "halt") return Allowed(keyword) ? "OK\n" : kRefused;

  const Channel* pChannel = FindChannel(argument);
  if (pChannel == nullptr) return kUnknown;
  if (keyword == "status") return Ok(pChannel->online ? "Online" : "Offline");
  if (keyword == "ip") return pChannel->online ? Ok(pChannel->address) : Ok("");
  if (keyword == "phone") return Ok(pChannel->phone);
  if (keyword == "rate") {
    if (!pChannel->online) return Ok("0 0");
    // A cycle of eight steps from a quarter to twice the configured rate.
    const uint64_t step = m_router.varyRates ? (m_uRateAnswers++ % 8) + 1 : 4;
    return Ok(std::to_string(pChannel->rateIn * step / 4) + " " +
              std::to_string(pChannel->rateOut * step / 4));
  }
  if (keyword == "quantity") {
    const uint64_t in = pChannel->quantityIn, out = pChannel->quantityOut;
    if (!bNew) return Ok(std::to_string(in) + " " + std::to_string(out));
    return Ok(std::to_string(in >> 32) + " " + std::to_string(in & 0xFFFFFFFFu) + " " +
              std::to_string(out >> 32) + " " + std::to_string(out & 0xFFFFFFFFu));
  }
  return kUnknown;
}

}  // namespace routersim
