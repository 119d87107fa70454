#include "routersim/Session.h"

#include <algorithm>
#include <ctime>
#include <limits>
#include <utility>

#include "client/Md5.h"

namespace routersim {

namespace {

constexpr char kAck = 6;

std::string Ok(std::string_view i_strText) { return "OK " + std::string(i_strText) + "\n"; }
std::string Ok(uint64_t i_value) { return Ok(std::to_string(i_value)); }
const std::string kDone = "OK\n";
const std::string kRefused = "ERR not allowed\n";
const std::string kUnknown = "ERR unknown command\n";
const std::string kBadNumber = "ERR bad number\n";
const std::string kStoreFull = "ERR store full\n";
const std::string kGarbage = "#\xff\x01 garbage \xfe\x7f\n";

std::string Clock() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[64];
  std::strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y", &local);
  return text;
}

}  // namespace

Session::Session(Router& io_router, std::string i_strSalt, AnswerFaults* io_pFaults,
                 RequestCounts* io_pCounts)
    : m_router(io_router),
      m_strSalt(std::move(i_strSalt)),
      m_pFaults(io_pFaults),
      m_pCounts(io_pCounts),
      m_level(io_router.levels.guest) {}

SessionRequest Session::TakeRequest() { return std::exchange(m_request, SessionRequest::None); }

std::string Session::Feed(std::string_view i_strBytes) {
  std::string strOut;
  while (!i_strBytes.empty() && m_request == SessionRequest::None &&
         strOut.size() <= m_router.limits.outputBytes) {
    if (m_mode == Mode::Sending) {
      const char byte = i_strBytes.front();
      i_strBytes.remove_prefix(1);
      if (byte != kAck) continue;  // nothing else belongs here
      if (m_uDone < m_strData.size()) {
        strOut += NextBlock();
      } else {
        strOut += kDone;
        m_mode = Mode::Lines;
      }
    } else if (m_mode == Mode::Receiving) {
      std::size_t uUsed = 0;
      strOut += FeedReceived(i_strBytes, uUsed);
      i_strBytes.remove_prefix(uUsed);
    } else {
      const std::size_t uLineEnd = i_strBytes.find('\n');
      if (uLineEnd == std::string_view::npos) {
        m_strPending.append(i_strBytes);
        if (m_strPending.size() > kMaxLineLength) m_request = SessionRequest::Close;
        break;
      }
      std::string strLine = std::move(m_strPending);
      m_strPending.clear();
      strLine.append(i_strBytes.substr(0, uLineEnd));
      i_strBytes.remove_prefix(uLineEnd + 1);
      std::erase(strLine, '\r');
      // Acknowledgements a client sent for partial reads of a download's last block arrive
      // after it has ended.
      strLine.erase(0, strLine.find_first_not_of(kAck));
      strOut += Answer(strLine);
    }
  }
  return strOut;
}

std::string Session::Login(std::string_view i_strPassword, bool i_bDigest) {
  if (!i_strPassword.empty()) {
    const auto matches = [&](const std::string& i_strExpected) {
      if (i_strExpected.empty()) return false;
      return i_bDigest ? i_strPassword == Md5()(i_strExpected + m_strSalt)
                       : i_strPassword == i_strExpected;
    };
    if (matches(m_router.adminPassword)) {
      m_level = std::max(m_level, m_router.levels.admin);
    } else if (matches(m_router.userPassword)) {
      m_level = std::max(m_level, m_router.levels.user);
    }
  }
  return Ok(m_level);
}

bool Session::Allowed(std::string_view i_strCommand) const {
  if (m_level >= m_router.levels.admin) return true;
  return m_level >= m_router.levels.user && m_router.userMayRun.count(std::string(i_strCommand));
}

Channel* Session::FindChannel(std::string_view i_strName) {
  if (i_strName == "pppoe") return m_router.pppoe ? &m_router.pppoeLink : nullptr;
  const std::optional<uint64_t> number = StrictNumber(i_strName, m_router.channels.size());
  if (!number || *number == 0) return nullptr;
  return &m_router.channels[*number - 1];
}

Circuit* Session::FindCircuit(std::string_view i_strNumber) {
  const std::optional<uint64_t> number = StrictNumber(i_strNumber, m_router.circuits.size());
  if (!number || *number == 0) return nullptr;
  return &m_router.circuits[*number - 1];
}

bool Session::StoreHasRoom(const std::string& i_strName, uint64_t i_uSize) const {
  uint64_t uOthers = 0;  // what stays when this name is stored again
  for (const auto& [name, content] : m_router.files)
    if (name != i_strName) uOthers += content.size();
  const bool bNewName = m_router.files.count(i_strName) == 0;
  return (!bNewName || m_router.files.size() < m_router.limits.storeFiles) &&
         i_uSize <= m_router.limits.storeBytes - std::min(uOthers, m_router.limits.storeBytes);
}

uint64_t Session::Uptime() const {
  const auto elapsed =
      std::max(std::chrono::steady_clock::now() - m_router.bootTime,
               std::chrono::steady_clock::duration::zero());  // zero while still booting
  return m_router.uptime +
         static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count());
}

std::string Session::Answer(std::string_view i_strLine) {
  const auto [keyword, argument] = Split(i_strLine);
  if (m_pCounts != nullptr) {
    auto found = m_pCounts->find(keyword);
    if (found == m_pCounts->end()) found = m_pCounts->emplace(keyword, 0).first;
    ++found->second;
  }
  if (m_pFaults != nullptr && m_pFaults->garbageAnswers > 0) {
    --m_pFaults->garbageAnswers;
    return kGarbage;
  }
  const bool bNew = m_router.protocol > 10;

  if (keyword == "version")
    return Ok(std::to_string(m_router.protocol) + " " + m_router.versionText);
  if (keyword == "salt") return bNew ? Ok(m_strSalt) : kUnknown;
  if (keyword == "pass") return bNew ? kUnknown : Login(argument, false);
  if (keyword == "md5pass") return bNew ? Login(argument, true) : kUnknown;
  if (m_level < m_router.levels.user) return kRefused;  // everything else needs a login
  return Command(keyword, argument);
}

std::string Session::Command(std::string_view keyword, std::string_view argument) {
  if (keyword == "uptime") return Ok(Uptime());
  if (keyword == "cpu") return Ok(m_router.cpu);
  if (keyword == "date") return Ok(m_router.date.empty() ? Clock() : m_router.date);
  if (keyword == "channels") return Ok(m_router.channels.size());
  if (keyword == "pppoe") return Ok(m_router.pppoe ? 1 : 0);
  if (keyword == "circuits") return Ok(m_router.circuits.size());
  if (keyword == "is-allowed") return Ok(Allowed(argument) ? 1 : 0);
  if (keyword == "route") {
    if (argument.empty()) return Ok(static_cast<uint64_t>(m_router.route));
    if (!Allowed("route")) return kRefused;
    const auto route = StrictNumber(argument, std::numeric_limits<int>::max());
    if (!route) return kBadNumber;
    m_router.route = static_cast<int>(*route);
    return Ok(*route);
  }
  if (keyword == "dialmode") {
    if (argument.empty()) return Ok(m_router.dialmode);
    if (!Allowed("dialmode") || (argument != "off" && argument != "manual" && argument != "auto")) {
      return kRefused;
    }
    m_router.dialmode = std::string(argument);
    return kDone;
  }
  if (keyword == "timetable") {
    std::string strOut;
    for (const std::string& line : m_router.timetable) strOut += " " + line + "\n";
    return strOut + kDone;
  }
  if (keyword == "support") return Support(argument);
  if (keyword == "send") return StartSending(argument);
  if (keyword == "receive") return StartReceiving(argument);
  if (keyword == "circuit" || keyword == "device") {
    const Circuit* pCircuit = FindCircuit(argument);
    if (pCircuit == nullptr) return kUnknown;
    return Ok(keyword == "circuit" ? pCircuit->name : pCircuit->device);
  }
  if (keyword == "hup-timeout") return HupTimeout(argument);

  // Connection control works on the numbered channels, lowest first.
  if (keyword == "dial") {
    if (!Allowed(keyword)) return kRefused;
    for (Channel& channel : m_router.channels) {
      if (!channel.online) {
        channel.online = true;
        return kDone;
      }
    }
    return "ERR no free channel\n";
  }
  if (keyword == "hangup") {
    if (!Allowed("dial")) return kRefused;
    for (Channel& channel : m_router.channels) channel.online = false;
    return kDone;
  }
  if (keyword == "addlink" || keyword == "removelink" || keyword == "links") {
    // Links belong to the current route; any other route has none.
    const auto route = StrictNumber(argument, std::numeric_limits<int>::max());
    if (!route) return kBadNumber;
    const bool bCurrent = *route == static_cast<uint64_t>(m_router.route);
    if (keyword == "links") {
      uint64_t online = 0;
      for (const Channel& channel : m_router.channels) online += channel.online ? 1 : 0;
      return Ok(bCurrent ? online : 0);
    }
    if (!Allowed("addlink")) return kRefused;
    if (!bCurrent) return "ERR no such route\n";
    const bool bAdd = keyword == "addlink";
    if (bAdd) {
      const auto free = std::find_if(m_router.channels.begin(), m_router.channels.end(),
                                     [](const Channel& c) { return !c.online; });
      if (free == m_router.channels.end()) return "ERR no free channel\n";
      free->online = true;
    } else {
      const auto last = std::find_if(m_router.channels.rbegin(), m_router.channels.rend(),
                                     [](const Channel& c) { return c.online; });
      if (last == m_router.channels.rend()) return "ERR no link\n";
      last->online = false;
    }
    return kDone;
  }
  if (keyword == "reboot" || keyword == "halt") {
    if (!Allowed(keyword)) return kRefused;
    m_request = keyword == "reboot" ? SessionRequest::Reboot : SessionRequest::Halt;
    return kDone;
  }

  static constexpr std::string_view kChannelQueries[] = {
      "status", "ip",         "phone",  "inout", "online-time",
      "time",   "chargetime", "charge", "rate",  "quantity"};
  if (std::find(std::begin(kChannelQueries), std::end(kChannelQueries), keyword) ==
      std::end(kChannelQueries)) {
    return kUnknown;
  }
  const Channel* pChannel = FindChannel(argument);
  if (pChannel == nullptr) return kUnknown;
  return ChannelQuery(keyword, *pChannel);
}

std::string Session::ChannelQuery(std::string_view keyword, const Channel& i_channel) {
  if (keyword == "status") return Ok(i_channel.online ? "Online" : "Offline");
  if (keyword == "ip") return i_channel.online ? Ok(i_channel.address) : Ok("");
  if (keyword == "phone") return Ok(i_channel.phone);
  if (keyword == "inout") return Ok(i_channel.online ? i_channel.inout : "");
  if (keyword == "online-time") return Ok(i_channel.online ? i_channel.onlineTime : "");
  if (keyword == "time") return Ok(i_channel.time);
  if (keyword == "chargetime") return Ok(i_channel.chargeTime);
  if (keyword == "charge") return Ok(i_channel.charge);
  if (keyword == "rate") {
    if (!i_channel.online) return Ok("0 0");
    // A cycle of eight steps from a quarter to twice the configured rate.
    const uint64_t step = m_router.varyRates ? (m_uRateAnswers++ % 8) + 1 : 4;
    return Ok(std::to_string(i_channel.rateIn * step / 4) + " " +
              std::to_string(i_channel.rateOut * step / 4));
  }
  // quantity: 32-bit counters with their wrap counts from protocol 11 on, totals before.
  const uint64_t in = i_channel.quantityIn, out = i_channel.quantityOut;
  if (m_router.protocol <= 10) return Ok(std::to_string(in) + " " + std::to_string(out));
  return Ok(std::to_string(in >> 32) + " " + std::to_string(in & 0xFFFFFFFFu) + " " +
            std::to_string(out >> 32) + " " + std::to_string(out & 0xFFFFFFFFu));
}

std::string Session::HupTimeout(std::string_view i_strArgument) {
  const auto [number, value] = Split(i_strArgument);
  Circuit* pCircuit = FindCircuit(number);
  if (pCircuit == nullptr) return kUnknown;
  if (!value.empty()) {
    if (!Allowed("hup-timeout") || pCircuit->device == "pppoe") return kRefused;
    const auto timeout = StrictNumber(value, std::numeric_limits<int32_t>::max());
    if (!timeout || *timeout == 0) return kBadNumber;
    pCircuit->hupTimeout = static_cast<long>(*timeout);
  }
  return Ok(static_cast<uint64_t>(pCircuit->hupTimeout));
}

std::string Session::Support(std::string_view i_strPassword) const {
  if (m_router.rootPassword.empty() || i_strPassword != m_router.rootPassword) return kRefused;
  std::string strOut = " version " + std::to_string(m_router.protocol) + " " +
                       m_router.versionText + "\n uptime " + std::to_string(Uptime()) +
                       "\n route " + std::to_string(m_router.route) + "\n dialmode " +
                       m_router.dialmode + "\n";
  for (std::size_t i = 0; i < m_router.channels.size(); ++i) {
    const Channel& channel = m_router.channels[i];
    strOut += " channel " + std::to_string(i + 1) + (channel.online ? " online " : " offline ") +
              channel.address + "\n";
  }
  strOut += " files " + std::to_string(m_router.files.size()) + "\n";
  return strOut + kDone;
}

// "send NAME ROOTPASSWORD": the size, then the file in blocks, each sent once the client has
// acknowledged the one before.
std::string Session::StartSending(std::string_view i_strArgument) {
  const auto [name, password] = Split(i_strArgument);
  if (m_router.rootPassword.empty() || password != m_router.rootPassword) return kRefused;
  const auto file = m_router.files.find(std::string(name));
  if (file == m_router.files.end()) return "ERR no such file\n";
  m_strData = file->second;
  m_uDone = 0;
  m_uLimit = m_strData.size();
  m_uAnnounced = m_strData.size();
  if (m_pFaults != nullptr) {
    m_uAnnounced += std::exchange(m_pFaults->lieBytes, 0);
    if (m_pFaults->cutAfterBytes) {
      m_uLimit = std::min<uint64_t>(m_uLimit, *m_pFaults->cutAfterBytes);
      m_pFaults->cutAfterBytes.reset();
    }
  }
  // An empty file is announced as 0, after which the client reads nothing more.
  if (m_uAnnounced == 0) return Ok(uint64_t{0});
  m_mode = Mode::Sending;
  return Ok(m_uAnnounced) + NextBlock();
}

std::string Session::NextBlock() {
  const uint64_t uEnd = std::min<uint64_t>(m_uDone + kBlockSize, m_uLimit);
  std::string strBlock = m_strData.substr(m_uDone, uEnd - m_uDone);
  m_uDone = uEnd;
  if (m_uDone < m_strData.size() && m_uDone == m_uLimit) m_request = SessionRequest::Close;
  return strBlock;
}

// "receive NAME SIZE ROOTPASSWORD": an acknowledgement when ready and after each block; the
// file is stored once it is whole.
std::string Session::StartReceiving(std::string_view i_strArgument) {
  const auto [name, rest] = Split(i_strArgument);
  const auto [size, password] = Split(rest);
  if (m_router.rootPassword.empty() || password != m_router.rootPassword) return kRefused;
  if (name.empty()) return kUnknown;
  const auto uSize = StrictNumber(size, m_router.maxFileSize);
  if (!uSize) return "ERR bad size\n";
  if (!StoreHasRoom(std::string(name), *uSize)) return kStoreFull;
  m_strFileName = std::string(name);
  m_strData.clear();
  m_uAnnounced = *uSize;
  m_uDone = 0;
  m_uLimit = m_uAnnounced;
  if (m_pFaults != nullptr && m_pFaults->cutAfterBytes) {
    m_uLimit = std::min<uint64_t>(m_uLimit, *m_pFaults->cutAfterBytes);
    m_pFaults->cutAfterBytes.reset();
  }
  if (m_uAnnounced == 0) {
    m_router.files[m_strFileName].clear();
    return std::string(1, kAck) + kDone;
  }
  m_mode = Mode::Receiving;
  return std::string(1, kAck);
}

std::string Session::FeedReceived(std::string_view i_strBytes, std::size_t& o_uUsed) {
  std::string strOut;
  o_uUsed = 0;
  while (o_uUsed < i_strBytes.size() && m_mode == Mode::Receiving) {
    const uint64_t uBlockEnd = std::min<uint64_t>((m_uDone / kBlockSize + 1) * kBlockSize,
                                                  std::min(m_uAnnounced, m_uLimit));
    const std::size_t uTake = std::min<std::size_t>(i_strBytes.size() - o_uUsed,
                                                    static_cast<std::size_t>(uBlockEnd - m_uDone));
    m_strData.append(i_strBytes.substr(o_uUsed, uTake));
    o_uUsed += uTake;
    m_uDone += uTake;
    if (m_uDone != uBlockEnd) continue;
    if (m_uDone == m_uAnnounced) {
      // Another connection may have filled the store meanwhile.
      const bool bRoom = StoreHasRoom(m_strFileName, m_uDone);
      if (bRoom) m_router.files[m_strFileName] = std::move(m_strData);
      m_strData.clear();
      m_mode = Mode::Lines;
      return strOut + std::string(1, kAck) + (bRoom ? kDone : kStoreFull);
    }
    if (m_uDone == m_uLimit) {  // cut off: the router drops the connection and the file
      m_request = SessionRequest::Close;
      m_mode = Mode::Lines;
      return strOut;
    }
    strOut += kAck;
  }
  return strOut;
}

}  // namespace routersim
