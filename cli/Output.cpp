#include "cli/Output.h"

#include <cerrno>
#include <cstring>

#include "cli/Failure.h"

namespace ctl {

std::string Dump(const Json& i_json, int i_iIndent) {
  return i_json.dump(i_iIndent, ' ', false, Json::error_handler_t::replace);
}

void Write(std::FILE* i_pStream, std::string_view i_text) {
  if (std::fwrite(i_text.data(), 1, i_text.size(), i_pStream) != i_text.size() ||
      std::fflush(i_pStream) != 0) {
    const char* pName =
        i_pStream == stderr ? text::Tr("standard error") : text::Tr("standard output");
    throw Failure(ExitCode::Failure, text::Format("{1}: {2}", {pName, std::strerror(errno)}));
  }
}

}  // namespace ctl
