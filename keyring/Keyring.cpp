#include "keyring/Keyring.h"

#include "ChildCall.h"
#include "Wire.h"
#include "text/Translation.h"

namespace keyring {

namespace {

using text::Format;
using text::Tr;

std::string Late(std::chrono::milliseconds i_within) {
  return Format(Tr("no answer within {1} s"), {std::to_string((i_within.count() + 999) / 1000)});
}

}  // namespace

Answer LookUp(const std::string& i_strWhere, Unlock i_unlock, std::chrono::milliseconds i_within) {
  ChildCall call(Encode(Request{.operation = Request::Operation::Search,
                                .item = {i_strWhere, Role::User},
                                .unlock = i_unlock,
                                .password = {}}));
  if (!call.Wait(i_within)) return Answer::Failed(Late(i_within));
  if (auto answer = DecodeAnswer(call.Result())) return *answer;
  return Answer::Failed(Tr("its helper ended without an answer"));
}

std::string Store(const Item& i_item, const std::string& i_strPassword,
                  std::chrono::milliseconds i_within) {
  // The answer is the problem, after a mark that tells an empty one from none.
  ChildCall call(Encode(Request{.operation = Request::Operation::Store,
                                .item = i_item,
                                .unlock = Unlock::Prompt,
                                .password = i_strPassword}));
  if (!call.Wait(i_within)) return Late(i_within);
  if (call.Result().empty()) return Tr("its helper ended without an answer");
  return call.Result().substr(1);
}

Forgotten Forget(const Item& i_item, std::chrono::milliseconds i_within) {
  ChildCall call(Encode(Request{.operation = Request::Operation::Forget,
                                .item = i_item,
                                .unlock = Unlock::Prompt,
                                .password = {}}));
  if (!call.Wait(i_within)) return {.problem = Late(i_within)};
  if (auto forgotten = DecodeForgotten(call.Result())) return *forgotten;
  return {.problem = Tr("its helper ended without an answer")};
}

PendingLookup::PendingLookup(const std::string& i_strWhere, Unlock i_unlock)
    : m_call(std::make_unique<ChildCall>(Encode(Request{.operation = Request::Operation::Search,
                                                        .item = {i_strWhere, Role::User},
                                                        .unlock = i_unlock,
                                                        .password = {}}))) {}

PendingLookup::~PendingLookup() = default;

int PendingLookup::Fd() const { return m_call->Fd(); }

std::optional<Answer> PendingLookup::Read() {
  if (!m_call->ReadAvailable()) return std::nullopt;
  if (auto answer = DecodeAnswer(m_call->Result())) return *answer;
  return Answer::Failed(Tr("its helper ended without an answer"));
}

}  // namespace keyring
