// Micro-benchmarks of the per-record library calls.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "quillmark/dictionary/Dictionary.h"
#include "quillmark/identity/DeviceIdGenerator.h"

namespace {

const Dictionary kOneAttribute{{"Extension", "4711"}};
const Dictionary kFiveAttributes{{"Extension", "4711"},
                                 {"Model", "desk-phone-200"},
                                 {"Room", "B.2.17"},
                                 {"Site", "north"},
                                 {"Vendor", "acme"}};

// A short tenant ID leaves the name's shared start under one SHA-1 block;
// a UUID and a long salt take it past one.
void BM_GenerateDeviceId(benchmark::State& state, const char* tenant_id,
                         const char* salt) {
  const quillmark::DeviceIdGenerator generator(tenant_id, salt);
  for (auto _ : state) {
    benchmark::DoNotOptimize(generator.GenerateDeviceId(kOneAttribute));
  }
}
BENCHMARK_CAPTURE(BM_GenerateDeviceId, tenant_42, "42", "");
BENCHMARK_CAPTURE(BM_GenerateDeviceId, uuid_tenant_long_salt,
                  "9f0c2b7e-4d1a-4e8b-a3c5-6b2f8d1e0a47",
                  "k2Jq8vX0pL5tR9wZ3mN7bC1dF6gH4sYa");

void BM_DictionaryToString(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(DictionaryToString(kFiveAttributes, ';'));
  }
}
BENCHMARK(BM_DictionaryToString);

void BM_DictionaryFromString(benchmark::State& state) {
  const std::string text = DictionaryToString(kFiveAttributes, ';');
  for (auto _ : state) {
    benchmark::DoNotOptimize(DictionaryFromString(text, ';'));
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_DictionaryFromString);

void BM_SerialiseDictionary(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(SerialiseDictionary(kFiveAttributes));
  }
}
BENCHMARK(BM_SerialiseDictionary);

void BM_DeserialiseDictionary(benchmark::State& state) {
  const std::vector<char> block = SerialiseDictionary(kFiveAttributes);
  for (auto _ : state) {
    benchmark::DoNotOptimize(DeserialiseDictionary(block.data()));
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(block.size()));
}
BENCHMARK(BM_DeserialiseDictionary);

void BM_DeserialiseDictionaryBounded(benchmark::State& state) {
  const std::vector<char> block = SerialiseDictionary(kFiveAttributes);
  for (auto _ : state) {
    benchmark::DoNotOptimize(DeserialiseDictionary(block.data(), block.size()));
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(block.size()));
}
BENCHMARK(BM_DeserialiseDictionaryBounded);

}  // namespace

BENCHMARK_MAIN();
