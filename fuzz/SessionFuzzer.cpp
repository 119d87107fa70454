// The simulator's request handling: whatever a client sends, in whatever pieces, as a session
// takes it (lines, logins, commands, transfers), and the fault lines a tester types. The input
// is cut into the pieces TCP might deliver where a byte 0xFF stands.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "routersim/Faults.h"
#include "routersim/Router.h"
#include "routersim/Session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* i_pData, size_t i_uSize) {
  routersim::Router router = routersim::Router::WithChannels(3, 1);
  router.pppoe = true;
  router.files["small"] = "hello";
  router.files["blocks"] = std::string(2500, 'x');
  routersim::AnswerFaults faults;
  routersim::Session session(router, "salt", &faults);

  const std::string_view input(reinterpret_cast<const char*>(i_pData), i_uSize);
  std::size_t uStart = 0;
  while (uStart <= input.size()) {
    const std::size_t uEnd = std::min(input.find('\xff', uStart), input.size());
    const std::string_view piece = input.substr(uStart, uEnd - uStart);
    session.Feed(piece);
    if (session.TakeRequest() == routersim::SessionRequest::Halt) break;
    std::string strError;
    const auto fault = routersim::ParseFault(piece, strError);
    if (!fault && strError.empty()) std::abort();  // a refusal always says why
    uStart = uEnd + 1;
  }
  return 0;
}
