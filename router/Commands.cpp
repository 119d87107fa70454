#include "router/Commands.h"

namespace router {

std::map<std::string, bool> AskPermissions(Zastra& io_client) {
  std::map<std::string, bool> permissions;
  for (const Command& command : kCommands) {
    auto [entry, bNew] = permissions.try_emplace(std::string(command.permission), false);
    if (bNew) entry->second = (io_client.*command.allowed)();
  }
  return permissions;
}

const Command* FindCommand(std::string_view i_name) {
  for (const Command& command : kCommands)
    if (command.name == i_name) return &command;
  return nullptr;
}

int TagOf(const Command& i_command) { return static_cast<int>(&i_command - kCommands.data()) + 1; }

const Command* CommandOfTag(int i_iTag) {
  if (i_iTag < 1 || static_cast<std::size_t>(i_iTag) > kCommands.size()) return nullptr;
  return &kCommands[static_cast<std::size_t>(i_iTag - 1)];
}

}  // namespace router
