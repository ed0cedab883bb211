// Reply parser throughput over a realistic receive stream: data replies (blocks, live gains,
// status) and short acknowledgements with line noise between them, read in 800-byte pieces as
// the port hands them over.

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "link/ReplyParser.h"

namespace {

std::vector<std::uint8_t> makeStream(std::size_t frames)
{
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> gap(0, 12);
    std::uniform_int_distribution<int> kind(0, 11);

    std::vector<std::uint8_t> s;
    s.reserve(frames * 32);
    for (std::size_t f = 0; f < frames; ++f) {
        for (int g = gap(rng); g > 0; --g)
            s.push_back(static_cast<std::uint8_t>(byte(rng)));
        const int k = kind(rng);
        // Mostly block and status replies (231..239), some acknowledgements with other codes.
        const std::uint8_t command = k < 9 ? static_cast<std::uint8_t>(231 + k) : static_cast<std::uint8_t>(200 + k);
        s.insert(s.end(), {250, 251, 252, 1, 16, command});
        for (int i = 0; i < 16; ++i)
            s.push_back(static_cast<std::uint8_t>(byte(rng)));
        // What the amplifier sends after the data (checksum, end mark) is not read by the parser.
        s.insert(s.end(), {0x5A, 0x99, 0xAA, 0xBB});
    }
    return s;
}

void BM_ParseReplyBytes(benchmark::State &state)
{
    const std::vector<std::uint8_t> stream = makeStream(20000);
    constexpr std::size_t kChunk = 800;
    talvo::ReplyFields fields;
    talvo::ReplyParser parser(fields);

    for (auto _ : state) {
        for (std::size_t at = 0; at < stream.size(); at += kChunk) {
            const std::size_t n = std::min(kChunk, stream.size() - at);
            parser.ParseReplyBytes(QByteArrayView(stream.data() + at, static_cast<qsizetype>(n)));
        }
        benchmark::DoNotOptimize(fields);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(stream.size()));
}
BENCHMARK(BM_ParseReplyBytes);

}  // namespace

BENCHMARK_MAIN();
