#pragma once

// Md5: the MD5 digest of RFC 1321 as 32 lower-case hexadecimal digits. Any instance gives the
// same results; it holds no state between calls.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

class Md5 {
 public:
  // Every byte of the string, NUL bytes included.
  std::string operator()(std::string i_strText) const;
  std::string operator()(const void* i_pBuffer, unsigned long i_ulLength) const;
  // Every byte from the stream's position to its end; "" when reading the stream fails.
  std::string operator()(FILE* i_pStream) const;

 private:
  friend struct Md5Probe;  // tests feed md5_process_bytes in pieces

  // The running state of one digest.
  struct md5_ctx {
    uint32_t A, B, C, D;                          // chaining words
    uint32_t total[2];                            // bytes counted so far, low word first
    uint32_t buflen;                              // bytes waiting in buffer
    alignas(uint32_t) unsigned char buffer[128];  // two blocks, so the final pad always fits
  };
  static constexpr std::size_t BLOCKSIZE = 4096;  // the stream form's read size
  static constexpr std::size_t kDigestSize = 16;

  static std::string ToHex(const unsigned char* i_pDigest);
  static void md5_init_ctx(md5_ctx* ctx);
  static void md5_process_block(const void* buffer, std::size_t len, md5_ctx* ctx);
  static void md5_process_bytes(const void* buffer, std::size_t len, md5_ctx* ctx);
  static void* md5_finish_ctx(md5_ctx* ctx, void* resbuf);
  static int md5_stream(FILE* stream, void* resblock);  // 0 on success, 1 when reading failed
  static void* md5_buffer(const char* buffer, std::size_t len, void* resblock);
};
