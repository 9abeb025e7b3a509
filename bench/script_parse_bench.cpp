// Time to read an update script from its bytes: a typical 50-entry script, and
// a worst case of maximal lines and many comments.
#include <benchmark/benchmark.h>

#include <string>

#include "format/update_script.h"

namespace {

std::string typicalScript()
{
    std::string text = "Software\\Example\\Product\r\n1006\r\n1004\r\n1\r\n";
    for (int i = 0; i < 49; i++)
        text += "data\\maps\\level" + std::to_string(i) + ".map\r\n";
    return text + "RUN game.exe\r\n";
}

// Every line as long as one read takes, a thousand comments of the same length
// between the entries, and the run entry last.
std::string worstCaseScript()
{
    std::string line(258, 'x');
    std::string text;
    for (int i = 0; i < 4; i++)
        text += line + "\r\n";
    for (int i = 0; i < 1000; i++)
        text += "#" + std::string(257, 'c') + "\r\n";
    for (int i = 0; i < 49; i++)
        text += std::string(200, 'd') + "\\" + std::string(57, 'f') + "\r\n";
    return text + "RUN " + std::string(254, 'g') + "\r\n";
}

void parse(benchmark::State& state, const std::string& text)
{
    static UpdateScript script;
    for (auto _ : state) {
        parseUpdateScript(text.data(), text.size(), &script);
        benchmark::DoNotOptimize(script.entryCount);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
    state.counters["script_bytes"] = static_cast<double>(text.size());
}

void BM_TypicalScript(benchmark::State& state)
{
    parse(state, typicalScript());
}

void BM_WorstCaseScript(benchmark::State& state)
{
    parse(state, worstCaseScript());
}

BENCHMARK(BM_TypicalScript);
BENCHMARK(BM_WorstCaseScript);

}  // namespace

BENCHMARK_MAIN();
