#pragma once

// What a child sends back: fields as netstrings ("5:hello,"), so a password may hold any byte.
// A record that does not read to its end is no record: the child died while writing it.

#include <optional>
#include <string>

#include "keyring/Keyring.h"

namespace keyring {

std::string Encode(const Answer& i_answer);
std::optional<Answer> DecodeAnswer(const std::string& i_strBytes);
std::string Encode(const Forgotten& i_forgotten);
std::optional<Forgotten> DecodeForgotten(const std::string& i_strBytes);

}  // namespace keyring
