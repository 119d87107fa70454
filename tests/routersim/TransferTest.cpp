// File transfers at the simulated daemon's end: the bytes of both directions, block by block.

#include <gtest/gtest.h>

#include "client/Md5.h"
#include "routersim/Session.h"

namespace zezar_test {
namespace {

using routersim::Router;
using routersim::Session;

const std::string kAck(1, '\x06');

std::string Pattern(std::size_t i_uSize) {
  std::string strBytes(i_uSize, '\0');
  for (std::size_t i = 0; i < i_uSize; ++i)
    strBytes[i] = static_cast<char>((i * 7 + i / 1024) % 256);
  return strBytes;
}

struct Fixture {
  Router router = Router::WithChannels(1, 0);
  routersim::AnswerFaults faults;
  Session session{router, "s", &faults};
  Fixture() { session.Feed("md5pass " + Md5()(std::string("admins")) + "\r\n"); }
};

TEST(ASimulatedDownload, SendsOneBlockPerAcknowledgementThenTheClosingLine) {
  for (const std::size_t uSize : {1u, 1023u, 1024u, 1025u, 2500u}) {
    SCOPED_TRACE(uSize);
    Fixture f;
    const std::string strFile = Pattern(uSize);
    f.router.files["f"] = strFile;
    std::string strGot = f.session.Feed("send f root\r\n");
    const std::string strHead = "OK " + std::to_string(uSize) + "\n";
    ASSERT_EQ(strGot.substr(0, strHead.size()), strHead);
    strGot.erase(0, strHead.size());
    std::string strReceived;
    for (std::size_t uBlocks = 0; strReceived.size() < uSize; ++uBlocks) {
      ASSERT_LT(uBlocks, 10u);
      EXPECT_EQ(strGot.size(), std::min<std::size_t>(1024, uSize - strReceived.size()));
      strReceived += strGot;
      strGot = f.session.Feed(kAck);
    }
    EXPECT_EQ(strReceived, strFile);
    EXPECT_EQ(strGot, "OK\n");
    EXPECT_EQ(f.session.Feed("\x06uptime\r\n").substr(0, 3), "OK ");  // a late ack is dropped
  }
}

TEST(ASimulatedDownload, AnnouncesAnEmptyFileAsZeroAndNothingMore) {
  Fixture f;
  f.router.files["empty"] = "";
  EXPECT_EQ(f.session.Feed("send empty root\r\n"), "OK 0\n");
  EXPECT_EQ(f.session.Feed("send missing root\r\n"), "ERR no such file\n");
  EXPECT_EQ(f.session.Feed("send empty wrong\r\n"), "ERR not allowed\n");
}

TEST(ASimulatedDownload, LiesAndIsCutOffWhenTold) {
  Fixture f;
  f.router.files["f"] = Pattern(3000);
  f.faults.lieBytes = 100;
  EXPECT_EQ(f.session.Feed("send f root\r\n").substr(0, 8), "OK 3100\n");
  EXPECT_EQ(f.faults.lieBytes, 0u);  // once only

  Fixture g;
  g.router.files["f"] = Pattern(3000);
  g.faults.cutAfterBytes = 1500;
  EXPECT_EQ(g.session.Feed("send f root\r\n").size(), 8u + 1024u);
  EXPECT_EQ(g.session.TakeRequest(), routersim::SessionRequest::None);
  EXPECT_EQ(g.session.Feed(kAck).size(), 476u);
  EXPECT_EQ(g.session.TakeRequest(), routersim::SessionRequest::Close);
}

TEST(ASimulatedUpload, AcknowledgesEachBlockAndStoresTheWholeFile) {
  for (const std::size_t uSize : {0u, 1u, 1023u, 1024u, 1025u, 2500u}) {
    for (const std::size_t uChunk : {1u, 700u, 1024u, 4096u}) {
      SCOPED_TRACE(std::to_string(uSize) + " bytes in pieces of " + std::to_string(uChunk));
      Fixture f;
      const std::string strFile = Pattern(uSize);
      std::string strAnswers = f.session.Feed("receive up " + std::to_string(uSize) + " root\r\n");
      for (std::size_t uBlock = 0; uBlock < uSize; uBlock += 1024) {
        const std::string strBlock = strFile.substr(uBlock, 1024);
        for (std::size_t u = 0; u < strBlock.size(); u += uChunk) {
          strAnswers += f.session.Feed(strBlock.substr(u, uChunk));
        }
      }
      const std::size_t uBlocks = (uSize + 1023) / 1024;
      EXPECT_EQ(strAnswers, std::string(uBlocks + 1, '\x06') + "OK\n");
      EXPECT_EQ(f.router.files["up"], strFile);
    }
  }
}

TEST(ASimulatedUpload, RefusesBadRequestsAndDropsACutFile) {
  Fixture f;
  EXPECT_EQ(f.session.Feed("receive up 10 wrong\r\n"), "ERR not allowed\n");
  EXPECT_EQ(f.session.Feed("receive up 10x root\r\n"), "ERR bad size\n");
  EXPECT_EQ(f.session.Feed("receive up -1 root\r\n"), "ERR bad size\n");
  EXPECT_EQ(f.session.Feed("receive up 99999999999 root\r\n"), "ERR bad size\n");
  f.faults.cutAfterBytes = 1500;
  EXPECT_EQ(f.session.Feed("receive up 3000 root\r\n"), kAck);
  EXPECT_EQ(f.session.Feed(Pattern(1024)), kAck);
  EXPECT_EQ(f.session.Feed(Pattern(1024)), "");
  EXPECT_EQ(f.session.TakeRequest(), routersim::SessionRequest::Close);
  EXPECT_EQ(f.router.files.count("up"), 0u);
}

// The store holds "a" (4 bytes) and "b" (empty) of at most 2 files and 10 bytes: a name
// stored again counts once, with its new size.
TEST(ASimulatedUpload, KeepsTheStoreWithinItsLimits) {
  struct Row {
    const char* name;
    const char* file;
    std::size_t size;
    bool stored;
  };
  const Row rows[] = {
      {"a new name past the count", "c", 1, false},
      {"a name again, to the byte", "b", 6, true},
      {"a name again, past the bytes", "b", 7, false},
      {"a name again, taking its own room", "a", 10, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Fixture f;
    f.router.limits.storeFiles = 2;
    f.router.limits.storeBytes = 10;
    f.router.files = {{"a", "xxxx"}, {"b", ""}};
    const std::string strAnswer =
        f.session.Feed("receive " + std::string(row.file) + " " + std::to_string(row.size) +
                       " root\r\n" + std::string(row.size, 'y'));
    EXPECT_EQ(strAnswer, row.stored ? kAck + kAck + "OK\n" : "ERR store full\n");
    EXPECT_EQ(f.router.files.count(row.file) != 0 && f.router.files[row.file].size() == row.size,
              row.stored);
  }
}

TEST(ASimulatedUpload, IsRefusedWhenAnotherFilledTheStoreMeanwhile) {
  Fixture f;
  f.router.limits.storeBytes = 10;
  Session other{f.router, "t", &f.faults};
  other.Feed("md5pass " + Md5()(std::string("admint")) + "\r\n");
  EXPECT_EQ(f.session.Feed("receive a 6 root\r\n"), kAck);
  EXPECT_EQ(other.Feed("receive b 6 root\r\n"), kAck);  // room for it, so far
  EXPECT_EQ(f.session.Feed("xxxxxx"), kAck + "OK\n");
  EXPECT_EQ(other.Feed("yyyyyy"), kAck + "ERR store full\n");
  EXPECT_EQ(f.router.files.count("b"), 0u);
}

}  // namespace
}  // namespace zezar_test
