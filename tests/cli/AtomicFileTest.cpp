#include "cli/AtomicFile.h"

#include <sys/socket.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "support/Files.h"
#include "cli/Failure.h"
#include "posix/UniqueFd.h"
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

TEST(AnAtomicFile, ReplacesOnlyARegularFileAndKeepsALinkToOne) {
  TempDir dir;
  const auto fifo = dir.path() / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const auto socketPath = dir.path() / "socket";
  const posix::UniqueFd listener = dir.BindSocket("socket");
  struct Row {
    const char* name;
    std::filesystem::path path;
    mode_t type;
  } rows[] = {{"a FIFO", fifo, S_IFIFO}, {"a socket", socketPath, S_IFSOCK}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_THROW(ctl::WriteFileAtomically(row.path, "x"), ctl::Failure);
    struct stat info {};
    ASSERT_EQ(::lstat(row.path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & S_IFMT, row.type);
  }

  const auto target = dir.Write("target", "old");
  const auto link = dir.path() / "link";
  std::filesystem::create_symlink("target", link);
  ctl::WriteFileAtomically(link, "new");
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(Contents(target), "new");
  EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"fifo", "link", "socket", "target"}));
}

}  // namespace
}  // namespace zezar_test
