// Md5 against OpenSSL's MD5 in the same run: a 64 MiB buffer, and a 64 MiB file read through
// the stream form (4096-byte freads for both).

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "client/Md5.h"

namespace {

constexpr std::size_t kSize = 64u << 20;

const std::string& Data() {
  static const std::string data = [] {
    std::mt19937_64 random(5);
    std::string bytes(kSize, '\0');
    for (std::size_t i = 0; i + 8 <= bytes.size(); i += 8) {
      const uint64_t word = random();
      std::memcpy(bytes.data() + i, &word, 8);
    }
    return bytes;
  }();
  return data;
}

struct FileCloser {
  void operator()(FILE* i_pFile) const { std::fclose(i_pFile); }
};
using File = std::unique_ptr<FILE, FileCloser>;

File DataFile() {
  File file(std::tmpfile());
  std::fwrite(Data().data(), 1, Data().size(), file.get());
  return file;
}

void OpenSslUpdate(EVP_MD_CTX* ctx, const void* data, std::size_t size) {
  EVP_DigestUpdate(ctx, data, size);
}

std::string OpenSslFinish(EVP_MD_CTX* ctx) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(ctx, digest, &length);
  return std::string(reinterpret_cast<char*>(digest), length);
}

void BM_Md5Buffer(benchmark::State& state) {
  const std::string& data = Data();
  for (auto _ : state) benchmark::DoNotOptimize(Md5()(data.data(), data.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

void BM_OpenSslBuffer(benchmark::State& state) {
  const std::string& data = Data();
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  for (auto _ : state) {
    EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr);
    OpenSslUpdate(ctx.get(), data.data(), data.size());
    benchmark::DoNotOptimize(OpenSslFinish(ctx.get()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

void BM_Md5Stream(benchmark::State& state) {
  File file = DataFile();
  for (auto _ : state) {
    std::rewind(file.get());
    benchmark::DoNotOptimize(Md5()(file.get()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

void BM_OpenSslStream(benchmark::State& state) {
  File file = DataFile();
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  char block[4096];
  for (auto _ : state) {
    std::rewind(file.get());
    EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr);
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, file.get())) > 0)
      OpenSslUpdate(ctx.get(), block, n);
    benchmark::DoNotOptimize(OpenSslFinish(ctx.get()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

BENCHMARK(BM_Md5Buffer)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_OpenSslBuffer)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Md5Stream)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_OpenSslStream)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
