#include "routersim/Faults.h"

#include <array>
#include <charconv>

#include "ShownText.h"

namespace routersim {

std::optional<uint64_t> StrictNumber(std::string_view i_strText, uint64_t i_uMax) {
  if (i_strText.empty() || i_strText.front() < '0' || i_strText.front() > '9') return {};
  uint64_t value = 0;
  const auto [end, error] =
      std::from_chars(i_strText.data(), i_strText.data() + i_strText.size(), value);
  if (error != std::errc{} || end != i_strText.data() + i_strText.size() || value > i_uMax) {
    return {};
  }
  return value;
}

std::pair<std::string_view, std::string_view> Split(std::string_view i_strLine) {
  const std::size_t uBlank = i_strLine.find(' ');
  if (uBlank == std::string_view::npos) return {i_strLine, {}};
  return {i_strLine.substr(0, uBlank), i_strLine.substr(uBlank + 1)};
}

std::optional<FaultCommand> ParseFault(std::string_view i_strLine, std::string& o_strError) {
  using Kind = FaultCommand::Kind;
  struct Name {
    std::string_view word;
    Kind kind;
    bool bValue;
  };
  static constexpr std::array kNames = {
      Name{"stall", Kind::Stall, true},     Name{"latency", Kind::Latency, true},
      Name{"garbage", Kind::Garbage, true}, Name{"lie", Kind::Lie, true},
      Name{"cut", Kind::Cut, true},         Name{"close", Kind::Close, false},
      Name{"reboot", Kind::Reboot, true},   Name{"clear", Kind::Clear, false}};
  constexpr uint64_t kMaxValue = 1'000'000'000;  // a day in milliseconds fits many times

  while (!i_strLine.empty() && (i_strLine.back() == '\r' || i_strLine.back() == ' ')) {
    i_strLine.remove_suffix(1);
  }
  const auto [word, argument] = Split(i_strLine);
  for (const Name& name : kNames) {
    if (word != name.word) continue;
    if (!name.bValue) {
      if (!argument.empty()) break;
      return FaultCommand{name.kind, 0};
    }
    const std::optional<uint64_t> value = StrictNumber(argument, kMaxValue);
    if (!value) {
      o_strError = std::string(word) + " needs a number from 0 to " + std::to_string(kMaxValue);
      return {};
    }
    return FaultCommand{name.kind, *value};
  }
  o_strError = "unknown fault \"" + ShownText(i_strLine) +
               "\" (stall S, latency MS, garbage N, lie N, cut N, close, reboot S, clear)";
  return {};
}

}  // namespace routersim
