#include "keyring/Keyring.h"

namespace keyring {

const char* RoleAttribute(Role i_role) { return i_role == Role::Admin ? "admin" : "user"; }

std::string Label(const Item& i_item) {
  // Not translated: the label is stored once and read by every language.
  return "Zezar: " + i_item.where + (i_item.role == Role::Admin ? " (administrator)" : " (user)");
}

}  // namespace keyring
