// get and put against the simulated router: sizes around the block size, both ways, read back
// byte for byte; transfers the router cuts off leave no partial file.

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/Files.h"
#include "SimulatedRouter.h"
#include "client/Zastra.h"
#include "posix/UniqueFd.h"
#include "support/TempDir.h"

namespace zezar_test {
namespace {

std::string Pattern(std::size_t i_uSize) {
  std::string strBytes(i_uSize, '\0');
  for (std::size_t i = 0; i < i_uSize; ++i)
    strBytes[i] = static_cast<char>((i * 31 + i / 977) % 256);
  return strBytes;
}

TEST(Zezarctl, TransfersFilesOfEverySizeBothWaysByteForByte) {
  SimulatedRouter router;
  TempDir dir;
  for (const std::size_t uSize : {0u, 1u, 1023u, 1024u, 1025u, 100000u}) {
    SCOPED_TRACE(uSize);
    const std::string strBytes = Pattern(uSize);
    const std::string strName = "f" + std::to_string(uSize);
    const auto sent = dir.Write(strName + ".sent", strBytes);
    CtlResult result = router.Run({"put", sent.string(), strName, "--json"});
    ASSERT_EQ(result.code, 0) << result.err;
    EXPECT_EQ(Parsed(result.out)["bytes"], uSize);

    const auto back = dir.path() / (strName + ".back");
    result = router.Run({"get", strName, back.string(), "--json"});
    if (uSize == 0) {
      // The client answers an empty file like a refusal; nothing is written.
      EXPECT_EQ(result.code, 6) << result.err;
      EXPECT_FALSE(std::filesystem::exists(back));
      continue;
    }
    ASSERT_EQ(result.code, 0) << result.err;
    EXPECT_EQ(Parsed(result.out)["bytes"], uSize);
    EXPECT_TRUE(Contents(back) == strBytes);

    result = router.Run({"get", strName, "-"});  // to standard output, the report on stderr
    EXPECT_EQ(result.code, 0) << result.err;
    EXPECT_TRUE(result.out == strBytes);
    EXPECT_NE(result.err.find(std::to_string(uSize) + " bytes"), std::string::npos);

    result = router.Run({"put", "-", strName + ".piped"},
                        {{"ZEZAR_ADMIN_PASS", "admin"}, {"ZEZAR_ROOT_PASS", "root"}}, strBytes);
    EXPECT_EQ(result.code, 0) << result.err;
    result = router.Run({"get", strName + ".piped", "-"});
    EXPECT_TRUE(result.out == strBytes);
  }
}

TEST(Zezarctl, LeavesNoPartialFileWhenTheRouterCutsATransferOrLies) {
  routersim::Router config = SimulatedRouter::Standard();
  config.files["big"] = Pattern(5000);
  SimulatedRouter router(config);
  TempDir dir, source;
  const auto upload = source.Write("up", Pattern(5000));
  const auto target = dir.path() / "big";
  std::ofstream(target) << "the old contents";
  struct Row {
    std::string fault;
    std::vector<std::string> arguments;
    int code;
  };
  const std::vector<Row> rows = {
      {"cut 2500", {"get", "big", target.string()}, 7},
      {"lie 100", {"get", "big", target.string()}, 7},
      {"cut 0", {"get", "big", target.string()}, 7},
      {"cut 1500", {"put", upload.string(), "up"}, 7},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fault);
    router.server.Inject(row.fault);
    const CtlResult result = router.Run(row.arguments);
    EXPECT_EQ(result.code, row.code) << result.err;
    EXPECT_NE(result.err.find("cut off"), std::string::npos) << result.err;
    EXPECT_EQ(Contents(target), "the old contents");
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"big"});  // no temporary left
    router.server.Inject("clear");
  }
  const CtlResult result = router.Run({"get", "big", target.string()});
  EXPECT_EQ(result.code, 0) << result.err;
  EXPECT_TRUE(Contents(target) == Pattern(5000));
  EXPECT_EQ(router.Run({"get", "up", "-"}).code, 6);  // the cut upload was not stored
}

TEST(Zezarctl, RefusesToOverwriteWhatItCannotWrite) {
  SimulatedRouter router;
  const CtlResult result = router.Run({"get", "hello.txt", "/nonexistent/dir/hello.txt"});
  EXPECT_EQ(result.code, 1);
  EXPECT_NE(result.err.find("/nonexistent/dir/hello.txt"), std::string::npos) << result.err;
  const CtlResult missing = router.Run({"put", "/nonexistent/file", "x"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.err.find("/nonexistent/file: cannot be read"), std::string::npos);
}

mode_t Type(const std::filesystem::path& i_path) {
  struct stat info {};
  return ::lstat(i_path.c_str(), &info) == 0 ? info.st_mode & S_IFMT : 0;
}

TEST(Zezarctl, WritesADownloadIntoAFifoOrDeviceButReplacesNoSuchThing) {
  SimulatedRouter router;
  TempDir dir;
  const auto fifo = dir.path() / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const posix::UniqueFd reader(::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  CtlResult result = router.Run({"get", "hello.txt", fifo.string()});
  EXPECT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(Type(fifo), static_cast<mode_t>(S_IFIFO));
  char received[64] = {};
  EXPECT_EQ(::read(reader.get(), received, sizeof received), 13);
  EXPECT_STREQ(received, "hello, world\n");

  // A device, named through a link of the test's own: were the link replaced, the device is
  // still safe (the test runs as root on a build machine).
  const auto device = dir.path() / "null";
  std::filesystem::create_symlink("/dev/null", device);
  result = router.Run({"get", "hello.txt", device.string()});
  EXPECT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(Type(device), static_cast<mode_t>(S_IFLNK));
  EXPECT_EQ(Type("/dev/null"), static_cast<mode_t>(S_IFCHR));

  const auto socketPath = dir.path() / "socket";
  const posix::UniqueFd listener = dir.BindSocket("socket");
  result = router.Run({"get", "hello.txt", socketPath.string()});
  EXPECT_EQ(result.code, 1);
  EXPECT_NE(result.err.find(socketPath.string() + ": not a regular file"), std::string::npos)
      << result.err;
  EXPECT_EQ(Type(socketPath), static_cast<mode_t>(S_IFSOCK));
}

TEST(Zezarctl, UploadsOnlyARegularFileOrStandardInputAndNoMoreThanItCanFetchBack) {
  SimulatedRouter router;
  TempDir dir;
  const auto fifo = dir.path() / "fifo";  // nobody writes to it
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::size_t uBound = Zastra::kMaxDownloadSize;
  const auto big = dir.Write("big", "");
  std::filesystem::resize_file(big, uBound + 1);  // sparse: no disk, no time
  struct Row {
    const char* name;
    std::string local;
    std::string input;
    int code;
    std::string said;
  } rows[] = {
      {"a folder", dir.path().string(), "", 1,
       dir.path().string() + ": cannot be read: not a regular file"},
      {"an endless device", "/dev/zero", "", 1, "/dev/zero: cannot be read: not a regular file"},
      {"a FIFO without a writer", fifo.string(), "", 1, "fifo: cannot be read: not a regular file"},
      {"a file past the bound", big.string(), "", 2, "big: too big"},
      {"standard input past the bound", "-", std::string(uBound + 1, 'x'), 2,
       "standard input: too big"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const CtlResult result =
        router.Run({"put", row.local, "up"},
                   {{"ZEZAR_ADMIN_PASS", "admin"}, {"ZEZAR_ROOT_PASS", "root"}}, row.input);
    EXPECT_EQ(result.code, row.code) << result.err;
    EXPECT_NE(result.err.find(row.said), std::string::npos) << result.err;
    EXPECT_EQ(router.Run({"get", "up", "-"}).code, 6);  // nothing reached the router
  }
}

}  // namespace
}  // namespace zezar_test
