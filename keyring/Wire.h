#pragma once

// What a child sends back: fields as netstrings ("5:hello,"), so a password may hold any byte.
// A record that does not read to its end is no record: the child died while writing it.

#include <optional>
#include <string>

#include "keyring/Keyring.h"

namespace keyring {

// What the helper is asked: one operation on one router's items.
struct Request {
  enum class Operation { Search, Store, Forget };
  Operation operation = Operation::Search;
  Item item;  // the router; the role for Store and Forget
  Unlock unlock = Unlock::Never;
  std::string password;  // for Store
};
std::string Encode(const Request& i_request);
std::optional<Request> DecodeRequest(const std::string& i_strBytes);

std::string Encode(const Answer& i_answer);
std::optional<Answer> DecodeAnswer(const std::string& i_strBytes);
std::string Encode(const Forgotten& i_forgotten);
std::optional<Forgotten> DecodeForgotten(const std::string& i_strBytes);

}  // namespace keyring
