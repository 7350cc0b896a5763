#include "cmd_runner/cmd_runner.hpp"

#include <benchmark/benchmark.h>

#include <string>

namespace {

// A full 1 MiB of coloured command output, the most a message ever gets to clean.
std::string coloured_output()
{
    std::string text;
    while (text.size() < cmd_runner::default_output_limit) {
        text += "\x1b[1;32m\xE2\x97\x8F\x1b[0m wifi-\xC3\xA9t\xC3\xA9: connected\tsignal 72%\r\n";
    }
    text.resize(cmd_runner::default_output_limit);
    return text;
}

void BM_CleanOneMebibyte(benchmark::State& state)
{
    const std::string text = coloured_output();
    for (auto _ : state) {
        benchmark::DoNotOptimize(cmd_runner::clean_text(text, {.keep_newline = true, .keep_tab = true}));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_CleanOneMebibyte);

void BM_DecodeLossyOneMebibyte(benchmark::State& state)
{
    const std::string text = coloured_output();
    for (auto _ : state) {
        benchmark::DoNotOptimize(cmd_runner::decode_lossy(text));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_DecodeLossyOneMebibyte);

// The fixed cost of one external command: spawn, pipes, wait, reap.
void BM_RunTrue(benchmark::State& state)
{
    for (auto _ : state) {
        auto out = cmd_runner::run({.program = "true"});
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_RunTrue)->Unit(benchmark::kMicrosecond);

// Reading a full 1 MiB of output through the pipes.
void BM_RunOneMebibyteOutput(benchmark::State& state)
{
    for (auto _ : state) {
        auto out = cmd_runner::run({.program = "head", .args = {"-c", "1048576", "/dev/zero"}});
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_RunOneMebibyteOutput)->Unit(benchmark::kMillisecond);

}  // namespace
