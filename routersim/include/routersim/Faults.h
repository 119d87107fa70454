#pragma once

// Faults injected into a running simulator, one text line each, from its standard input or
// from ServerProcess::Inject:
//
//   stall S      answer nothing for S seconds (connections are still accepted)
//   latency MS   hold every answer back for MS milliseconds (0: none)
//   garbage N    answer the next N requests with a line of garbage
//   lie N        the next download announces N bytes more than the file has
//   cut N        the next transfer stops after N file bytes and the connection closes
//   close        close every client connection now
//   reboot S     close every connection and refuse new ones for S seconds
//   clear        end every fault above

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace routersim {

// What the sessions consult while they answer; the server keeps the timed faults.
struct AnswerFaults {
  uint64_t garbageAnswers = 0;
  uint64_t lieBytes = 0;
  std::optional<uint64_t> cutAfterBytes;
};

struct FaultCommand {
  enum class Kind { Stall, Latency, Garbage, Lie, Cut, Close, Reboot, Clear };
  Kind kind;
  uint64_t value = 0;  // seconds, milliseconds, answers or bytes, by kind
};

// The command a line names, or nothing when it names none (o_strError says why).
std::optional<FaultCommand> ParseFault(std::string_view i_strLine, std::string& o_strError);

// Digits only, no sign, no blank, within [0, i_uMax]: "7x", "-5", "" and "+1" are no number.
std::optional<uint64_t> StrictNumber(std::string_view i_strText, uint64_t i_uMax);

// Splits "keyword argument" at its first blank; the argument is empty when there is none.
std::pair<std::string_view, std::string_view> Split(std::string_view i_strLine);

}  // namespace routersim
