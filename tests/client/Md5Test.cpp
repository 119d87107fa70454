// The digest against RFC 1321's suite and, over random inputs, against OpenSSL.

#include "client/Md5.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdio>
#include <memory>
#include <random>

// Reaches the incremental interface, to feed the same bytes in pieces.
struct Md5Probe {
  static std::string Pieces(const std::string& i_strBytes, const std::vector<std::size_t>& i_cuts) {
    Md5::md5_ctx ctx;
    Md5::md5_init_ctx(&ctx);
    std::size_t uFrom = 0;
    for (const std::size_t uCut : i_cuts) {
      Md5::md5_process_bytes(i_strBytes.data() + uFrom, uCut - uFrom, &ctx);
      uFrom = uCut;
    }
    Md5::md5_process_bytes(i_strBytes.data() + uFrom, i_strBytes.size() - uFrom, &ctx);
    unsigned char digest[16];
    Md5::md5_finish_ctx(&ctx, digest);
    return Md5::ToHex(digest);
  }
};

namespace zezar_test {
namespace {

std::string OpenSslMd5(const std::string& i_strBytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EXPECT_EQ(EVP_Digest(i_strBytes.data(), i_strBytes.size(), digest, &length, EVP_md5(), nullptr),
            1);
  std::string strHex;
  char hex[3];
  for (unsigned int i = 0; i < length; ++i) {
    std::snprintf(hex, sizeof hex, "%02x", digest[i]);
    strHex += hex;
  }
  return strHex;
}

std::string RandomBytes(std::mt19937& io_random, std::size_t i_uLength) {
  std::uniform_int_distribution<int> byte(0, 255);
  std::string strBytes(i_uLength, '\0');
  for (char& c : strBytes) c = static_cast<char>(byte(io_random));
  return strBytes;
}

TEST(TheDigest, MatchesTheRfc1321Suite) {
  struct Row {
    std::string text;
    std::string digest;
  } rows[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(Md5()(row.text), row.digest);
    EXPECT_EQ(Md5()(row.text.data(), row.text.size()), row.digest);
  }
}

TEST(TheDigest, HandlesEveryFinalBlockLayout) {
  // One or two final blocks, and a whole block waiting until finishing.
  for (const std::size_t length :
       {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 127u, 128u, 129u, 4095u, 4096u, 4097u, 5000u}) {
    SCOPED_TRACE(length);
    const std::string bytes(length, 'a');
    EXPECT_EQ(Md5()(bytes), OpenSslMd5(bytes));
  }
}

TEST(TheDigest, CountsNulBytesAndKeepsLeadingZeroDigits) {
  const std::string withNul("a\0b", 3);
  EXPECT_EQ(Md5()(withNul), OpenSslMd5(withNul));
  EXPECT_NE(Md5()(withNul), Md5()(std::string("a")));
  // The digest of "jk8ssl" begins with a zero byte.
  EXPECT_EQ(Md5()(std::string("jk8ssl")), "0000000018e6137ac2caab16074784a6");
}

TEST(TheDigest, IsTheSameWholeOrInPieces) {
  std::mt19937 random(1321);
  const std::string bytes = RandomBytes(random, 1000);
  const std::string whole = Md5()(bytes);
  const std::vector<std::vector<std::size_t>> cutSets = {
      {}, {0}, {1}, {63}, {64}, {65}, {1, 2, 3}, {64, 128, 192}, {10, 74, 75, 139, 900}, {999}};
  for (const auto& cuts : cutSets) EXPECT_EQ(Md5Probe::Pieces(bytes, cuts), whole);
  std::uniform_int_distribution<std::size_t> position(0, bytes.size());
  for (int i = 0; i < 200; ++i) {
    std::vector<std::size_t> cuts(1 + i % 6);
    for (std::size_t& cut : cuts) cut = position(random);
    std::sort(cuts.begin(), cuts.end());
    EXPECT_EQ(Md5Probe::Pieces(bytes, cuts), whole);
  }
}

TEST(TheDigest, AgreesWithOpenSslOnRandomInputs) {
  std::mt19937 random(20261208);
  std::uniform_int_distribution<std::size_t> length(0, 3000);
  for (int i = 0; i < 300; ++i) {
    const std::string bytes = RandomBytes(random, length(random));
    ASSERT_EQ(Md5()(bytes), OpenSslMd5(bytes)) << "length " << bytes.size();
  }
}

struct FileCloser {
  void operator()(FILE* i_pFile) const { std::fclose(i_pFile); }
};
using File = std::unique_ptr<FILE, FileCloser>;

TEST(TheDigest, ReadsAStreamFromItsPositionToTheEnd) {
  std::mt19937 random(7);
  for (const std::size_t length : {0u, 1u, 4095u, 4096u, 4097u, 10000u}) {
    SCOPED_TRACE(length);
    const std::string bytes = RandomBytes(random, length);
    File file(std::tmpfile());
    ASSERT_TRUE(file);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file.get()), bytes.size());
    std::rewind(file.get());
    EXPECT_EQ(Md5()(file.get()), OpenSslMd5(bytes));
    if (length > 1) {
      ASSERT_EQ(std::fseek(file.get(), 1, SEEK_SET), 0);
      EXPECT_EQ(Md5()(file.get()), OpenSslMd5(bytes.substr(1)));
    }
  }
}

TEST(TheDigest, GivesNothingForAStreamThatFails) {
  // Reading a stream that was opened for writing only sets its error indicator.
  File writeOnly(std::fopen("/dev/null", "w"));
  ASSERT_TRUE(writeOnly);
  EXPECT_EQ(Md5()(writeOnly.get()), "");
}

}  // namespace
}  // namespace zezar_test
