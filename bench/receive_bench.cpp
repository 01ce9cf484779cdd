// The receiving side without the port: 10 MiB of punched program decoded and
// appended to a document the way the connection's flush appends it, to see what
// the window thread spends per byte apart from reading the device.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "cli/CliHost.h"
#include "transfer/ReceiveDecoder.h"

namespace {

constexpr size_t kPunch = 10 * 1024 * 1024;
constexpr size_t kRead = 64 * 1024; // what the port reader takes in one read
constexpr size_t kFlush = 4096;

const std::string& Punch() {
    static const std::string bytes = [] {
        std::string s;
        const std::string line = "N10 G1 X12.345 Y67.890 Z-1.000 F800\n";
        while (s.size() < kPunch)
            s += line;
        s.resize(kPunch);
        return s;
    }();
    return bytes;
}

// One read's worth of the punch, decoded as the connection decodes it.
void DecodeBatch(ReceiveDecoder& decoder, const std::string& in, size_t at, std::string& out) {
    out.clear();
    decoder.Decode(reinterpret_cast<const unsigned char*>(in.data()) + at,
                   std::min(kRead, in.size() - at), out);
}

void BM_DecodeOnly(benchmark::State& state) {
    const std::string& in = Punch();
    for (auto _ : state) {
        ReceiveDecoder decoder;
        std::string out;
        for (size_t at = 0; at < in.size(); at += kRead) {
            DecodeBatch(decoder, in, at, out);
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations() * in.size()));
}
BENCHMARK(BM_DecodeOnly)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_DecodeAndAppend(benchmark::State& state) {
    const std::string& in = Punch();
    for (auto _ : state) {
        auto owned = std::make_unique<CliHost>();
        CliHost& host = *owned;
        ReceiveDecoder decoder;
        std::string out;
        for (size_t at = 0; at < in.size(); at += kRead) {
            DecodeBatch(decoder, in, at, out);
            std::string_view rest = out;
            while (!rest.empty()) {
                size_t n = std::min(rest.size(), kFlush);
                if (rest[n - 1] == '\r' && n < rest.size())
                    ++n;
                host.AppendReceivedText(rest.substr(0, n));
                rest.remove_prefix(n);
            }
        }
        state.PauseTiming(); // closing the document is not part of receiving
        owned.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations() * in.size()));
}
BENCHMARK(BM_DecodeAndAppend)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

BENCHMARK_MAIN();
