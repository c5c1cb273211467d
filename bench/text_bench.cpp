// The engine formatter, PAtoi, UTF-8 stepping and PString appends, each beside
// the C library or standard-library equivalent in the same run.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <benchmark/benchmark.h>

#include "engine/runtime/psprintf.h"
#include "engine/runtime/pstring.h"
#include "engine/runtime/ptext.h"

namespace {

void BM_PSnprintf(benchmark::State& st)
{
    char buf[128];
    int i = 0;
    for (auto _ : st) {
        PSnprintf(buf, sizeof buf, "player %s scored %d (0x%08x) [%-6s]", "Nova", i, unsigned(i), "ok");
        benchmark::DoNotOptimize(buf);
        i++;
    }
}
BENCHMARK(BM_PSnprintf);

void BM_snprintf(benchmark::State& st)
{
    char buf[128];
    int i = 0;
    for (auto _ : st) {
        std::snprintf(buf, sizeof buf, "player %s scored %d (0x%08x) [%-6s]", "Nova", i, unsigned(i), "ok");
        benchmark::DoNotOptimize(buf);
        i++;
    }
}
BENCHMARK(BM_snprintf);

void BM_PSnprintfReal(benchmark::State& st)
{
    char buf[64];
    double v = 1.25;
    for (auto _ : st) {
        PSnprintf(buf, sizeof buf, "%.3f", v);
        benchmark::DoNotOptimize(buf);
        v += 0.5;
        if (v > 30000)
            v = 1.25;
    }
}
BENCHMARK(BM_PSnprintfReal);

void BM_snprintfReal(benchmark::State& st)
{
    char buf[64];
    double v = 1.25;
    for (auto _ : st) {
        std::snprintf(buf, sizeof buf, "%.3f", v);
        benchmark::DoNotOptimize(buf);
        v += 0.5;
        if (v > 30000)
            v = 1.25;
    }
}
BENCHMARK(BM_snprintfReal);

void BM_PAtoi(benchmark::State& st)
{
    for (auto _ : st)
        benchmark::DoNotOptimize(PAtoi("  -0x1F2E3D", nullptr, 0));
}
BENCHMARK(BM_PAtoi);

void BM_strtol(benchmark::State& st)
{
    for (auto _ : st)
        benchmark::DoNotOptimize(std::strtol("  -0x1F2E3D", nullptr, 0));
}
BENCHMARK(BM_strtol);

// 1 KiB of mixed one- to four-byte characters.
std::string const& MixedText()
{
    static std::string t = [] {
        std::string s;
        while (s.size() < 1024)
            s += "ab \xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80 ";
        return s;
    }();
    return t;
}

void BM_PUTF8StrLen(benchmark::State& st)
{
    char const* t = MixedText().c_str();
    for (auto _ : st)
        benchmark::DoNotOptimize(PUTF8StrLen(t));
    st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(MixedText().size()));
}
BENCHMARK(BM_PUTF8StrLen);

void BM_mbstowcsCount(benchmark::State& st)
{
    std::setlocale(LC_CTYPE, "C.UTF-8");
    char const* t = MixedText().c_str();
    for (auto _ : st)
        benchmark::DoNotOptimize(std::mbstowcs(nullptr, t, 0));
    st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(MixedText().size()));
}
BENCHMARK(BM_mbstowcsCount);

void BM_PStringAppend(benchmark::State& st)
{
    for (auto _ : st) {
        PString s;
        for (int i = 0; i < 64; i++) {
            s.Append("word ");
            s.AppendNum(i);
        }
        benchmark::DoNotOptimize(s.c_str());
    }
}
BENCHMARK(BM_PStringAppend);

void BM_stdStringAppend(benchmark::State& st)
{
    for (auto _ : st) {
        std::string s;
        for (int i = 0; i < 64; i++) {
            s.append("word ");
            s += std::to_string(i);
        }
        benchmark::DoNotOptimize(s.c_str());
    }
}
BENCHMARK(BM_stdStringAppend);

} // namespace
