#include "client/Md5.h"

#include <bit>
#include <cstring>

namespace {

uint32_t LoadLittleEndian(const unsigned char* p) {
  uint32_t word;
  std::memcpy(&word, p, sizeof word);
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap32(word);
  return word;
}

void StoreLittleEndian(uint32_t word, unsigned char* p) {
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap32(word);
  std::memcpy(p, &word, sizeof word);
}

// The four auxiliary functions of RFC 1321, F and G in their cheaper equivalent forms.
inline uint32_t F(uint32_t x, uint32_t y, uint32_t z) { return z ^ (x & (y ^ z)); }
inline uint32_t G(uint32_t x, uint32_t y, uint32_t z) { return y ^ (z & (x ^ y)); }
inline uint32_t H(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
inline uint32_t I(uint32_t x, uint32_t y, uint32_t z) { return y ^ (x | ~z); }

template <uint32_t (*Fn)(uint32_t, uint32_t, uint32_t), int S>
inline void Step(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, uint32_t t) {
  a = b + std::rotl(a + Fn(b, c, d) + x + t, S);
}

}  // namespace

std::string Md5::operator()(std::string i_strText) const {
  return (*this)(i_strText.data(), i_strText.size());
}

std::string Md5::operator()(const void* i_pBuffer, unsigned long i_ulLength) const {
  unsigned char digest[kDigestSize];
  md5_buffer(static_cast<const char*>(i_pBuffer), i_ulLength, digest);
  return ToHex(digest);
}

std::string Md5::operator()(FILE* i_pStream) const {
  unsigned char digest[kDigestSize];
  if (md5_stream(i_pStream, digest) != 0) return {};
  return ToHex(digest);
}

std::string Md5::ToHex(const unsigned char* i_pDigest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string strHex(2 * kDigestSize, '0');
  for (std::size_t i = 0; i < kDigestSize; ++i) {
    strHex[2 * i] = kDigits[i_pDigest[i] >> 4];
    strHex[2 * i + 1] = kDigits[i_pDigest[i] & 0x0f];
  }
  return strHex;
}

void Md5::md5_init_ctx(md5_ctx* ctx) {
  ctx->A = 0x67452301;
  ctx->B = 0xefcdab89;
  ctx->C = 0x98badcfe;
  ctx->D = 0x10325476;
  ctx->total[0] = ctx->total[1] = 0;
  ctx->buflen = 0;
}

void Md5::md5_process_block(const void* buffer, std::size_t len, md5_ctx* ctx) {
  const auto* p = static_cast<const unsigned char*>(buffer);
  const unsigned char* const end = p + len;

  // The byte count may exceed 32 bits; the carry goes to the high word.
  const auto lenLow = static_cast<uint32_t>(len);
  ctx->total[0] += lenLow;
  ctx->total[1] +=
      static_cast<uint32_t>(static_cast<uint64_t>(len) >> 32) + (ctx->total[0] < lenLow);

  uint32_t A = ctx->A, B = ctx->B, C = ctx->C, D = ctx->D;
  for (; p < end; p += 64) {
    uint32_t X[16];
    for (int i = 0; i < 16; ++i) X[i] = LoadLittleEndian(p + 4 * i);
    uint32_t a = A, b = B, c = C, d = D;

    Step<F, 7>(a, b, c, d, X[0], 0xd76aa478);
    Step<F, 12>(d, a, b, c, X[1], 0xe8c7b756);
    Step<F, 17>(c, d, a, b, X[2], 0x242070db);
    Step<F, 22>(b, c, d, a, X[3], 0xc1bdceee);
    Step<F, 7>(a, b, c, d, X[4], 0xf57c0faf);
    Step<F, 12>(d, a, b, c, X[5], 0x4787c62a);
    Step<F, 17>(c, d, a, b, X[6], 0xa8304613);
    Step<F, 22>(b, c, d, a, X[7], 0xfd469501);
    Step<F, 7>(a, b, c, d, X[8], 0x698098d8);
    Step<F, 12>(d, a, b, c, X[9], 0x8b44f7af);
    Step<F, 17>(c, d, a, b, X[10], 0xffff5bb1);
    Step<F, 22>(b, c, d, a, X[11], 0x895cd7be);
    Step<F, 7>(a, b, c, d, X[12], 0x6b901122);
    Step<F, 12>(d, a, b, c, X[13], 0xfd987193);
    Step<F, 17>(c, d, a, b, X[14], 0xa679438e);
    Step<F, 22>(b, c, d, a, X[15], 0x49b40821);

    Step<G, 5>(a, b, c, d, X[1], 0xf61e2562);
    Step<G, 9>(d, a, b, c, X[6], 0xc040b340);
    Step<G, 14>(c, d, a, b, X[11], 0x265e5a51);
    Step<G, 20>(b, c, d, a, X[0], 0xe9b6c7aa);
    Step<G, 5>(a, b, c, d, X[5], 0xd62f105d);
    Step<G, 9>(d, a, b, c, X[10], 0x02441453);
    Step<G, 14>(c, d, a, b, X[15], 0xd8a1e681);
    Step<G, 20>(b, c, d, a, X[4], 0xe7d3fbc8);
    Step<G, 5>(a, b, c, d, X[9], 0x21e1cde6);
    Step<G, 9>(d, a, b, c, X[14], 0xc33707d6);
    Step<G, 14>(c, d, a, b, X[3], 0xf4d50d87);
    Step<G, 20>(b, c, d, a, X[8], 0x455a14ed);
    Step<G, 5>(a, b, c, d, X[13], 0xa9e3e905);
    Step<G, 9>(d, a, b, c, X[2], 0xfcefa3f8);
    Step<G, 14>(c, d, a, b, X[7], 0x676f02d9);
    Step<G, 20>(b, c, d, a, X[12], 0x8d2a4c8a);

    Step<H, 4>(a, b, c, d, X[5], 0xfffa3942);
    Step<H, 11>(d, a, b, c, X[8], 0x8771f681);
    Step<H, 16>(c, d, a, b, X[11], 0x6d9d6122);
    Step<H, 23>(b, c, d, a, X[14], 0xfde5380c);
    Step<H, 4>(a, b, c, d, X[1], 0xa4beea44);
    Step<H, 11>(d, a, b, c, X[4], 0x4bdecfa9);
    Step<H, 16>(c, d, a, b, X[7], 0xf6bb4b60);
    Step<H, 23>(b, c, d, a, X[10], 0xbebfbc70);
    Step<H, 4>(a, b, c, d, X[13], 0x289b7ec6);
    Step<H, 11>(d, a, b, c, X[0], 0xeaa127fa);
    Step<H, 16>(c, d, a, b, X[3], 0xd4ef3085);
    Step<H, 23>(b, c, d, a, X[6], 0x04881d05);
    Step<H, 4>(a, b, c, d, X[9], 0xd9d4d039);
    Step<H, 11>(d, a, b, c, X[12], 0xe6db99e5);
    Step<H, 16>(c, d, a, b, X[15], 0x1fa27cf8);
    Step<H, 23>(b, c, d, a, X[2], 0xc4ac5665);

    Step<I, 6>(a, b, c, d, X[0], 0xf4292244);
    Step<I, 10>(d, a, b, c, X[7], 0x432aff97);
    Step<I, 15>(c, d, a, b, X[14], 0xab9423a7);
    Step<I, 21>(b, c, d, a, X[5], 0xfc93a039);
    Step<I, 6>(a, b, c, d, X[12], 0x655b59c3);
    Step<I, 10>(d, a, b, c, X[3], 0x8f0ccc92);
    Step<I, 15>(c, d, a, b, X[10], 0xffeff47d);
    Step<I, 21>(b, c, d, a, X[1], 0x85845dd1);
    Step<I, 6>(a, b, c, d, X[8], 0x6fa87e4f);
    Step<I, 10>(d, a, b, c, X[15], 0xfe2ce6e0);
    Step<I, 15>(c, d, a, b, X[6], 0xa3014314);
    Step<I, 21>(b, c, d, a, X[13], 0x4e0811a1);
    Step<I, 6>(a, b, c, d, X[4], 0xf7537e82);
    Step<I, 10>(d, a, b, c, X[11], 0xbd3af235);
    Step<I, 15>(c, d, a, b, X[2], 0x2ad7d2bb);
    Step<I, 21>(b, c, d, a, X[9], 0xeb86d391);

    A += a;
    B += b;
    C += c;
    D += d;
  }
  ctx->A = A;
  ctx->B = B;
  ctx->C = C;
  ctx->D = D;
}

void Md5::md5_process_bytes(const void* buffer, std::size_t len, md5_ctx* ctx) {
  const auto* p = static_cast<const unsigned char*>(buffer);

  if (ctx->buflen != 0) {
    const std::size_t left = ctx->buflen;
    const std::size_t add = std::min(sizeof ctx->buffer - left, len);
    std::memcpy(ctx->buffer + left, p, add);
    ctx->buflen += static_cast<uint32_t>(add);
    if (ctx->buflen > 64) {
      const std::size_t whole = ctx->buflen & ~std::size_t{63};
      md5_process_block(ctx->buffer, whole, ctx);
      ctx->buflen &= 63;
      std::memcpy(ctx->buffer, ctx->buffer + whole, ctx->buflen);
    }
    p += add;
    len -= add;
  }

  if (len > 64) {
    const std::size_t whole = len & ~std::size_t{63};
    md5_process_block(p, whole, ctx);
    p += whole;
    len -= whole;
  }

  if (len > 0) {  // fewer than 64 bytes, or exactly 64 kept for finishing
    std::memcpy(ctx->buffer + ctx->buflen, p, len);
    ctx->buflen += static_cast<uint32_t>(len);
  }
}

void* Md5::md5_finish_ctx(md5_ctx* ctx, void* resbuf) {
  const uint32_t bytes = ctx->buflen;
  const std::size_t size = (bytes < 56) ? 64 : 128;  // one or two final blocks

  ctx->total[0] += bytes;
  if (ctx->total[0] < bytes) ++ctx->total[1];

  ctx->buffer[bytes] = 0x80;
  std::memset(ctx->buffer + bytes + 1, 0, size - 8 - bytes - 1);
  StoreLittleEndian(ctx->total[0] << 3, ctx->buffer + size - 8);
  StoreLittleEndian((ctx->total[1] << 3) | (ctx->total[0] >> 29), ctx->buffer + size - 4);
  md5_process_block(ctx->buffer, size, ctx);

  auto* out = static_cast<unsigned char*>(resbuf);
  StoreLittleEndian(ctx->A, out);
  StoreLittleEndian(ctx->B, out + 4);
  StoreLittleEndian(ctx->C, out + 8);
  StoreLittleEndian(ctx->D, out + 12);
  return resbuf;
}

int Md5::md5_stream(FILE* stream, void* resblock) {
  md5_ctx ctx;
  md5_init_ctx(&ctx);
  char block[BLOCKSIZE];
  for (;;) {
    std::size_t sum = 0;
    std::size_t n;
    do {
      n = std::fread(block + sum, 1, BLOCKSIZE - sum, stream);
      sum += n;
    } while (sum < BLOCKSIZE && n != 0);
    if (n == 0 && std::ferror(stream)) return 1;
    if (sum < BLOCKSIZE) {
      md5_process_bytes(block, sum, &ctx);
      break;
    }
    md5_process_block(block, BLOCKSIZE, &ctx);
  }
  md5_finish_ctx(&ctx, resblock);
  return 0;
}

void* Md5::md5_buffer(const char* buffer, std::size_t len, void* resblock) {
  md5_ctx ctx;
  md5_init_ctx(&ctx);
  md5_process_bytes(buffer, len, &ctx);
  return md5_finish_ctx(&ctx, resblock);
}
