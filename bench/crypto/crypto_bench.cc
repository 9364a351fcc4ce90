// Password key derivation of encrypted workbooks: the spin of agile encryption at the
// largest count the format allows (10,000,000 rounds), which one open attempt pays.
#include <benchmark/benchmark.h>

#include "reader/crypto/key_derivation.h"
#include "reader/crypto/primitives.h"

namespace {

using gridwell::crypto::HashAlg;

void BM_AgileSpin(benchmark::State& state, HashAlg alg) {
  const uint8_t salt[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  const auto rounds = static_cast<uint32_t>(state.range(0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(gridwell::crypto::AgilePasswordHash(alg, salt, "password", rounds));
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * rounds);
}

BENCHMARK_CAPTURE(BM_AgileSpin, sha512, HashAlg::Sha512)
    ->Arg(10'000'000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_AgileSpin, sha1, HashAlg::Sha1)
    ->Arg(10'000'000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
