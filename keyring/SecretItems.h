#pragma once

// The Secret Service's client library, called in this process: only ever from a child
// (ChildCall), where its bus thread can take no signal the caller relies on.

#include <string>

#include "keyring/Keyring.h"

namespace keyring {

Answer SearchHere(const std::string& i_strWhere, Unlock i_unlock);
std::string StoreHere(const Item& i_item, const std::string& i_strPassword);
Forgotten ForgetHere(const Item& i_item);

}  // namespace keyring
