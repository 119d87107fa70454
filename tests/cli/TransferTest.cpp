// get and put against the simulated router: sizes around the block size, both ways, read back
// byte for byte; transfers the router cuts off leave no partial file.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Files.h"
#include "SimulatedRouter.h"
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

}  // namespace
}  // namespace zezar_test
