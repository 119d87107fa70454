// get and put: file transfer with the router's root password.

#include <cstdio>
#include <istream>

#include "Commands.h"
#include "LocalFile.h"
#include "cli/Failure.h"
#include "text/MacRoman.h"
#include "text/Translation.h"

namespace ctl {

namespace {

using text::Format;
using text::Tr;

constexpr std::size_t kMaxCommandLength = 250;  // the client cuts a longer "send" line
// The protocol's sizes reach 2 GiB, but no router of this kind holds that much, and a file
// larger than the client takes in a download could never be fetched back.
constexpr std::size_t kMaxUploadSize = Zastra::kMaxDownloadSize;

// The remote name in Mac OS Roman; it travels in a command line between blanks.
std::string RemoteName(const std::string& i_strRemote) {
  const std::string strProblem = RemoteNameProblem(i_strRemote);
  if (!strProblem.empty()) throw Failure(ExitCode::Usage, strProblem);
  return *text::Utf8ToMacRoman(i_strRemote);
}

std::string Megabytes(std::size_t i_uBytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(i_uBytes) / 1e6);
  return text;
}

// The bytes of an upload, which report each block as the client seeks to it.
class ProgressBuffer : public std::streambuf {
 public:
  ProgressBuffer(std::string& io_strBytes, std::function<void(std::size_t)> i_progress)
      : m_progress(std::move(i_progress)) {
    setg(io_strBytes.data(), io_strBytes.data(), io_strBytes.data() + io_strBytes.size());
  }

 protected:
  pos_type seekoff(off_type i_offset, std::ios_base::seekdir i_direction,
                   std::ios_base::openmode i_which) override {
    const off_type base = i_direction == std::ios_base::beg   ? 0
                          : i_direction == std::ios_base::cur ? gptr() - eback()
                                                              : egptr() - eback();
    return seekpos(base + i_offset, i_which);
  }
  pos_type seekpos(pos_type i_position, std::ios_base::openmode) override {
    const off_type position = i_position;
    if (position < 0 || position > egptr() - eback()) return pos_type(off_type(-1));
    setg(eback(), eback() + position, egptr());
    if (m_progress) m_progress(static_cast<std::size_t>(position));
    return i_position;
  }

 private:
  std::function<void(std::size_t)> m_progress;
};

}  // namespace

std::string ReadUpload(const std::string& i_strLocal) {
  const bool bInput = i_strLocal == "-";
  LocalContents contents = bInput ? ReadStandardInput(kMaxUploadSize)
                                  : ReadRegularFile(i_strLocal, kMaxUploadSize, ExitCode::Failure);
  if (contents.bMore) {
    throw Failure(ExitCode::Usage, Format(Tr("{1}: too big for the router ({2} MiB at most)"),
                                          {bInput ? Tr("standard input") : i_strLocal,
                                           std::to_string(kMaxUploadSize >> 20)}));
  }
  return std::move(contents.bytes);
}

std::string RemoteNameProblem(const std::string& i_strRemote) {
  const std::optional<std::string> name = text::Utf8ToMacRoman(i_strRemote);
  if (i_strRemote.empty() || !name ||
      name->find_first_of(std::string(" \t\r\n\0", 5)) != std::string::npos) {
    return Format(Tr("\"{1}\" is no remote file name (no blanks or line ends, characters of Mac "
                     "OS Roman only)"),
                  {i_strRemote});
  }
  return {};
}

Output Get(RouterConnection& io_router, const std::string& i_strRemote,
           const std::string& i_strLocal, bool i_bProgress) {
  const std::string strName = RemoteName(i_strRemote);
  const std::string& strRoot = io_router.settings().RootPassword("get");
  if (std::string("send ").size() + strName.size() + 1 + strRoot.size() > kMaxCommandLength) {
    throw Failure(ExitCode::Usage, Tr("the remote name and root password are too long for one "
                                      "command (250 characters)"));
  }
  std::string strLocal = i_strLocal;
  if (strLocal.empty()) {
    strLocal = i_strRemote.substr(i_strRemote.rfind('/') + 1);
    if (strLocal.empty() || strLocal == "." || strLocal == "..") {
      throw Failure(ExitCode::Usage, Format(Tr("name a local file for {1}"), {i_strRemote}));
    }
  }
  if (strLocal != "-") CheckWritable(strLocal);
  if (i_bProgress) {
    std::fputs(Format(Tr("get {1}: receiving..."), {i_strRemote}).c_str(), stderr);
  }
  const std::string strBytes = io_router.client().GetFile(strRoot, strName);
  if (i_bProgress) std::fputs("\r\033[K", stderr);
  if (strBytes.empty()) {
    if (!io_router.client().IsConnected()) {
      throw Failure(ExitCode::TransferFailed,
                    Format(Tr("the download of {1} was cut off; nothing written"), {i_strRemote}));
    }
    // The client answers a refusal and an empty file alike.
    throw Failure(ExitCode::RouterRefused,
                  Format(Tr("the router refused {1} (no such file, wrong root password, or an "
                            "empty file); nothing written"),
                         {i_strRemote}));
  }
  Output output;
  if (strLocal == "-") {
    Write(stdout, strBytes);
    output.bReportToStderr = true;
  } else {
    WriteLocalFile(strLocal, strBytes);
  }
  output.json = {{"remote", i_strRemote}, {"local", strLocal}, {"bytes", strBytes.size()}};
  output.text = Format(Tr("{1} -> {2}: {3} bytes"),
                       {i_strRemote, strLocal, std::to_string(strBytes.size())}) +
                "\n";
  return output;
}

Output Put(RouterConnection& io_router, const std::string& i_strLocal, std::string i_strBytes,
           const std::string& i_strRemote, bool i_bProgress) {
  const std::string strName = RemoteName(i_strRemote);
  const std::string& strRoot = io_router.settings().RootPassword("put");
  const std::size_t uSize = i_strBytes.size();
  ProgressBuffer buffer(i_strBytes, [&](std::size_t i_uOffset) {
    if (!i_bProgress || uSize == 0) return;
    char percent[16];
    std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(i_uOffset * 100 / uSize));
    // TRANSLATORS: the progress of an upload: "put FILE:  42% (1.2 MB of 3.0 MB)".
    std::fputs(("\r" + Format(Tr("put {1}: {2} ({3} of {4})"),
                              {i_strRemote, percent, Megabytes(i_uOffset), Megabytes(uSize)}))
                   .c_str(),
               stderr);
  });
  std::istream stream(&buffer);
  const bool bDone = io_router.client().UploadFile(strRoot, strName, stream);
  if (i_bProgress) std::fputs("\r\033[K", stderr);
  if (!bDone) {
    if (!io_router.client().IsConnected()) {
      throw Failure(ExitCode::TransferFailed,
                    Format(Tr("the upload of {1} was cut off; the router may keep a part of it"),
                           {i_strRemote}));
    }
    throw Failure(
        ExitCode::RouterRefused,
        Format(Tr("the router refused {1} (wrong root password, or too big?)"), {i_strRemote}));
  }
  return {
      {{"local", i_strLocal}, {"remote", i_strRemote}, {"bytes", uSize}},
      Format(Tr("{1} -> {2}: {3} bytes"), {i_strLocal, i_strRemote, std::to_string(uSize)}) + "\n"};
}

}  // namespace ctl
