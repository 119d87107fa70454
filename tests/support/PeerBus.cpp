#include "support/PeerBus.h"

#include <sys/socket.h>

#include <stdexcept>
#include <string>

#include "posix/UniqueFd.h"
#include "runloop/SdCheck.h"

namespace zezar_test {

PeerBus::PeerBus() {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
    throw std::runtime_error("socketpair");
  posix::UniqueFd serverEnd(fds[0]);
  posix::UniqueFd clientEnd(fds[1]);
  sd_event* pEvent = nullptr;
  runloop::Check(sd_event_new(&pEvent), "sd_event_new");
  event.reset(pEvent);
  sd_bus* pBus = nullptr;
  runloop::Check(sd_bus_new(&pBus), "sd_bus_new");
  server.reset(pBus);
  runloop::Check(sd_bus_new(&pBus), "sd_bus_new");
  client.reset(pBus);
  sd_id128_t id;
  runloop::Check(sd_id128_randomize(&id), "sd_id128_randomize");
  runloop::Check(sd_bus_set_fd(server.get(), serverEnd.get(), serverEnd.get()), "sd_bus_set_fd");
  serverEnd.release();  // the bus has it
  runloop::Check(sd_bus_set_fd(client.get(), clientEnd.get(), clientEnd.get()), "sd_bus_set_fd");
  clientEnd.release();
  runloop::Check(sd_bus_set_server(server.get(), 1, id), "sd_bus_set_server");
  for (sd_bus* pEnd : {server.get(), client.get()}) {
    runloop::Check(sd_bus_set_anonymous(pEnd, 1), "sd_bus_set_anonymous");
    runloop::Check(sd_bus_start(pEnd), "sd_bus_start");
    runloop::Check(sd_bus_attach_event(pEnd, pEvent, 0), "sd_bus_attach_event");
  }
}

namespace {

struct Answer {
  bool bAnswered = false;
  runloop::SdBusMessagePtr reply;
  std::string error;
};

int OnAnswer(sd_bus_message* i_pMessage, void* i_pUserData, sd_bus_error*) {
  auto* pAnswer = static_cast<Answer*>(i_pUserData);
  pAnswer->bAnswered = true;
  if (const sd_bus_error* pError = sd_bus_message_get_error(i_pMessage)) {
    pAnswer->error = pError->name != nullptr ? pError->name : "";
  } else {
    pAnswer->reply.reset(sd_bus_message_ref(i_pMessage));
  }
  return 0;
}

}  // namespace

runloop::SdBusMessagePtr PeerBus::Call(sd_bus_message* i_pCall, std::string& o_strError,
                                       int i_iTurns) {
  Answer answer;
  sd_bus_slot* pSlot = nullptr;
  if (sd_bus_call_async(client.get(), &pSlot, i_pCall, OnAnswer, &answer, 0) < 0) {
    o_strError = "cannot send";
    return nullptr;
  }
  const runloop::SdBusSlotPtr slot(pSlot);
  for (int turn = 0; turn < i_iTurns && !answer.bAnswered; ++turn) sd_event_run(event.get(), 0);
  o_strError = answer.bAnswered ? answer.error : "no answer";
  return std::move(answer.reply);
}

}  // namespace zezar_test
