// File transfer: the command goes out as a line, then the file's bytes flow in raw blocks of at
// most 1024 bytes, each answered by the receiving side with the byte 6, and the router ends
// with one closing line, which is read and not examined.

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>

#include "TextNumbers.h"
#include "client/Zastra.h"

namespace {

constexpr std::size_t kBlockSize = 1024;
constexpr char kAck = 6;
constexpr std::size_t kAckReadSize = 3;  // only the first byte of an acknowledgement counts
constexpr long kMaxFileSize = std::numeric_limits<int32_t>::max();  // sizes are 32-bit signed

// Fills o_pBlock with the i_uLength bytes at i_lOffset; false when the source cannot.
using BlockSource = std::function<bool(long i_lOffset, std::size_t i_uLength, char* o_pBlock)>;

bool ReadAck(Zastra::Socket& io_oSocket) {
  char strBuffer4[4] = {};
  return io_oSocket.ReadRaw(strBuffer4, kAckReadSize) >= 1 && strBuffer4[0] == kAck;
}

// The part both upload forms share, from the command line to the closing line.
bool Upload(Zastra::Socket& io_oSocket, const std::string& i_strRootPassword,
            const std::string& i_strFilename, long i_lSize, const BlockSource& i_source) {
  if (!io_oSocket.IsConnected()) return false;
  // Not through the one-line framing: not cut, and the router answers with a byte, not a line.
  io_oSocket.Write("receive " + i_strFilename + " " + std::to_string(i_lSize) + " " +
                   i_strRootPassword + "\r\n");
  if (!ReadAck(io_oSocket)) {
    io_oSocket.Read();  // the router's refusal
    return false;
  }
  bool bComplete = true;
  char strBuffer[kBlockSize];
  for (long lSent = 0; lSent < i_lSize;) {
    const auto iLen = static_cast<std::size_t>(std::min<long>(i_lSize - lSent, kBlockSize));
    // A source that comes up short still sends its block, so the router stays in step; the
    // file it stores is then wrong, and the upload reports failure.
    if (!i_source(lSent, iLen, strBuffer)) bComplete = false;
    if (!io_oSocket.WriteRaw(strBuffer, iLen)) return false;
    lSent += static_cast<long>(iLen);
    if (!ReadAck(io_oSocket)) {
      io_oSocket.Read();
      return false;
    }
  }
  io_oSocket.Read();  // closing line
  return bComplete;
}

}  // namespace

std::string Zastra::GetFile(std::string i_strRootPassword, std::string i_strFilename) {
  std::string strResult;
  const long long llSize =
      zastra_text::LeadingInteger(GetAnswer("send " + i_strFilename + " " + i_strRootPassword));
  if (llSize == 0) return strResult;
  if (llSize > kMaxDownloadSize) {
    // The router sends the file whether it is taken or not: the connection is out of step.
    m_oSocket.ConnectionLost();
    return strResult;
  }
  const long lSize = static_cast<long>(std::max<long long>(llSize, -1));

  // The result grows only by what actually arrives: an announced size is no promise. Its room
  // is taken at once (bounded above), so the bytes are copied once and not again as it grows.
  strResult.reserve(static_cast<std::size_t>(std::max(lSize, 0L)));
  char strBuffer[kBlockSize];
  for (long lReceived = 0; lReceived < lSize;) {
    // Never more than announced, so the closing line cannot end up in the file.
    const auto uWant = static_cast<std::size_t>(std::min<long>(lSize - lReceived, kBlockSize));
    const std::size_t uGot = m_oSocket.ReadRaw(strBuffer, uWant);
    if (uGot == 0) return {};  // cut short; the socket has dropped the connection
    strResult.append(strBuffer, uGot);
    lReceived += static_cast<long>(uGot);
    if (!m_oSocket.WriteRaw(&kAck, 1)) return {};
  }
  m_oSocket.Read();  // closing line
  return strResult;
}

bool Zastra::UploadFile(std::string i_strRootPassword, std::string i_strFilename,
                        std::string i_strContent) {
  if (i_strContent.size() > static_cast<std::size_t>(kMaxFileSize)) return false;
  m_oSocket.SetConnectionLostObj(this);
  return Upload(m_oSocket, i_strRootPassword, i_strFilename, static_cast<long>(i_strContent.size()),
                [&](long i_lOffset, std::size_t i_uLength, char* o_pBlock) {
                  std::memcpy(o_pBlock, i_strContent.data() + i_lOffset, i_uLength);
                  return true;
                });
}

bool Zastra::UploadFile(std::string i_strRootPassword, std::string i_strFilename,
                        std::istream& i_oStream) {
  i_oStream.seekg(0, std::ios::end);
  const std::streamoff lSize = i_oStream.tellg();
  i_oStream.seekg(0, std::ios::beg);
  if (lSize < 0 || lSize > kMaxFileSize || !i_oStream) return false;  // not seekable, or too big
  m_oSocket.SetConnectionLostObj(this);
  return Upload(m_oSocket, i_strRootPassword, i_strFilename, static_cast<long>(lSize),
                [&](long i_lOffset, std::size_t i_uLength, char* o_pBlock) {
                  // read, not readsome: readsome may deliver less than the stream holds, and the
                  // missing bytes would go out as zeros.
                  std::memset(o_pBlock, 0, i_uLength);
                  i_oStream.clear();
                  i_oStream.seekg(i_lOffset);
                  i_oStream.read(o_pBlock, static_cast<std::streamsize>(i_uLength));
                  return i_oStream.gcount() == static_cast<std::streamsize>(i_uLength);
                });
}
