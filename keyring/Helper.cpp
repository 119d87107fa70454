// zezar-keyring: the programs' one door to the Secret Service. Reads one request on standard
// input, answers on standard output, and ends; see ChildCall.h for why it is a program.

#include <unistd.h>

#include <cerrno>
#include <string>

#include "SecretItems.h"
#include "Wire.h"
#include "keyring/RouterPasswords.h"

namespace {

constexpr std::size_t kMaxRequest = keyring::kMaxPasswordBytes + 1024;  // bytes

bool ReadRequest(std::string& o_strBytes) {
  char buffer[1024];
  while (o_strBytes.size() <= kMaxRequest) {
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    o_strBytes.append(buffer, static_cast<std::size_t>(n));
  }
  return false;
}

bool WriteAnswer(const std::string& i_strBytes) {
  for (std::size_t uDone = 0; uDone < i_strBytes.size();) {
    const ssize_t n = ::write(STDOUT_FILENO, i_strBytes.data() + uDone, i_strBytes.size() - uDone);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    uDone += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

int main() {
  std::string strBytes;
  if (!ReadRequest(strBytes)) return 2;
  const std::optional<keyring::Request> request = keyring::DecodeRequest(strBytes);
  if (!request) return 2;  // the caller says the helper gave no answer
  std::string strAnswer;
  switch (request->operation) {
    case keyring::Request::Operation::Search:
      strAnswer = keyring::Encode(keyring::SearchHere(request->item.where, request->unlock));
      break;
    case keyring::Request::Operation::Store:
      strAnswer = "+" + keyring::StoreHere(request->item, request->password);
      break;
    case keyring::Request::Operation::Forget:
      strAnswer = keyring::Encode(keyring::ForgetHere(request->item));
      break;
  }
  return WriteAnswer(strAnswer) ? 0 : 1;
}
