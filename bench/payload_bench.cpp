// Decompressing the whole table against copying the same bytes: the ratio is
// what Snappy costs over the memory traffic that any install needs anyway.
#include <cstring>
#include <vector>

#include "bench/ratio_main.h"
#include "installer/payload.h"

namespace {

std::size_t totalUncompressed() {
  std::size_t total = 0;
  for (const auto& entry : setup::payloadTable) total += setup::uncompress(entry.compressed).size();
  return total;
}

void BM_UncompressTable(benchmark::State& state) {
  const std::size_t bytes = totalUncompressed();
  for (auto _ : state) {
    for (const auto& entry : setup::payloadTable) {
      std::string out = setup::uncompress(entry.compressed);
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

// The same output bytes, copied from memory into fresh buffers.
void BM_CopyTable(benchmark::State& state) {
  std::vector<std::string> sources;
  for (const auto& entry : setup::payloadTable)
    sources.push_back(setup::uncompress(entry.compressed));
  const std::size_t bytes = totalUncompressed();
  for (auto _ : state) {
    for (const std::string& source : sources) {
      std::string out(source.size(), '\0');
      std::memcpy(out.data(), source.data(), source.size());
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

BENCHMARK(BM_UncompressTable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyTable)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return setup::bench::runWithRatios(argc, argv, {{"BM_UncompressTable", "BM_CopyTable"}});
}
