#include "cli/AtomicFile.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "Files.h"
#include "cli/Failure.h"
#include "support/TempDir.h"

namespace zezar_test {
namespace {

TEST(AnAtomicFile, ReplacesTheTargetWholeOrNotAtAll) {
  TempDir dir;
  const auto target = dir.path() / "f";
  ctl::WriteFileAtomically(target, std::string("new\0bytes", 9));
  EXPECT_EQ(Contents(target), std::string("new\0bytes", 9));
  ctl::WriteFileAtomically(target, "");
  EXPECT_EQ(Contents(target), "");
  struct stat info {};
  ASSERT_EQ(::stat(target.c_str(), &info), 0);
  EXPECT_NE(info.st_mode & 0044, 0u);  // the umask's permissions, not mkstemp's 0600

  std::filesystem::create_directory(dir.path() / "d");
  EXPECT_THROW(ctl::WriteFileAtomically(dir.path() / "d", "x"), ctl::Failure);  // a folder
  EXPECT_THROW(ctl::WriteFileAtomically(dir.path() / "missing" / "f", "x"), ctl::Failure);
  EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"d", "f"}));  // no temporary left
}

}  // namespace
}  // namespace zezar_test
