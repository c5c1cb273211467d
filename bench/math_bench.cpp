// Fixed-point math beside its floating-point equivalent, one call per
// iteration over a ring of 1024 prepared arguments.
#include <cmath>
#include <cstdint>
#include <random>

#include <benchmark/benchmark.h>

#include "engine/runtime/pfixed.h"
#include "engine/runtime/pmath3d.h"

namespace {

constexpr int kRing = 1024;

struct Inputs {
    int angle[kRing];
    float radians[kRing];
    int fx[kRing], fy[kRing];
    float x[kRing], y[kRing];
    unsigned u[kRing];
    float uf[kRing];
    Inputs()
    {
        std::mt19937 rng(42);
        for (int i = 0; i < kRing; i++) {
            angle[i] = int(rng() & 0xFFFF);
            radians[i] = float(angle[i] * 6.283185307179586 / 65536);
            fx[i] = int(rng() % 0x2000000) - 0x1000000;
            fy[i] = int(rng() % 0x2000000) - 0x1000000;
            x[i] = fx[i] / 65536.0f;
            y[i] = fy[i] / 65536.0f;
            u[i] = (rng() & 0x7FFFFFFF) | 1;
            uf[i] = u[i] / 65536.0f;
        }
    }
};

const Inputs& In()
{
    static const Inputs in;
    return in;
}

void PSinFixed(benchmark::State& state)
{
    const Inputs& in = In();
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(PSin(in.angle[i]));
        i = (i + 1) & (kRing - 1);
    }
}
BENCHMARK(PSinFixed);

void SinFloat(benchmark::State& state)
{
    const Inputs& in = In();
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::sin(in.radians[i]));
        i = (i + 1) & (kRing - 1);
    }
}
BENCHMARK(SinFloat);

void PAtan2Fixed(benchmark::State& state)
{
    const Inputs& in = In();
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(PAtan2(in.fy[i], in.fx[i]));
        i = (i + 1) & (kRing - 1);
    }
}
BENCHMARK(PAtan2Fixed);

void Atan2Float(benchmark::State& state)
{
    const Inputs& in = In();
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::atan2(in.y[i], in.x[i]));
        i = (i + 1) & (kRing - 1);
    }
}
BENCHMARK(Atan2Float);

void PFRSqrtFixed(benchmark::State& state)
{
    const Inputs& in = In();
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(PFRSqrt(int(in.u[i])));
        i = (i + 1) & (kRing - 1);
    }
}
BENCHMARK(PFRSqrtFixed);

void RSqrtFloat(benchmark::State& state)
{
    const Inputs& in = In();
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(1.0f / std::sqrt(in.uf[i]));
        i = (i + 1) & (kRing - 1);
    }
}
BENCHMARK(RSqrtFloat);

void PSqrtFixed(benchmark::State& state)
{
    const Inputs& in = In();
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(PSqrt(in.u[i]));
        i = (i + 1) & (kRing - 1);
    }
}
BENCHMARK(PSqrtFixed);

void SqrtFloat(benchmark::State& state)
{
    const Inputs& in = In();
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::sqrt(in.uf[i]));
        i = (i + 1) & (kRing - 1);
    }
}
BENCHMARK(SqrtFloat);

// The float equivalents of the 3x4 matrix operations, kept out of line like
// the library's.
struct FloatMatrix {
    float m[3][4];
};

[[gnu::noinline]] void FloatMultiply(FloatMatrix& a, const FloatMatrix& b)
{
    FloatMatrix r;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 4; j++)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + (j == 3 ? a.m[i][3] : 0);
    a = r;
}

[[gnu::noinline]] void FloatTransform(const FloatMatrix& a, float p[3])
{
    float x = p[0], y = p[1], z = p[2];
    for (int i = 0; i < 3; i++)
        p[i] = a.m[i][0] * x + a.m[i][1] * y + a.m[i][2] * z + a.m[i][3];
}

PMatrix3D Rotation(int i)
{
    PMatrix3D m;
    m.SetupRotate(i * 7 << 16, 0x93CD, 0x93CD, 0);
    m.m[0][3] = i << 12;
    return m;
}

FloatMatrix ToFloat(const PMatrix3D& m)
{
    FloatMatrix f;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 4; j++)
            f.m[i][j] = m.m[i][j] / 65536.0f;
    return f;
}

void MultiplyFixed(benchmark::State& state)
{
    PMatrix3D ms[16];
    for (int i = 0; i < 16; i++)
        ms[i] = Rotation(i);
    PMatrix3D acc = ms[0];
    int i = 0;
    for (auto _ : state) {
        PMatrix3D a = acc;
        a.Multiply(ms[i].m);
        benchmark::DoNotOptimize(a);
        i = (i + 1) & 15;
    }
}
BENCHMARK(MultiplyFixed);

void MultiplyFloat(benchmark::State& state)
{
    FloatMatrix ms[16];
    for (int i = 0; i < 16; i++)
        ms[i] = ToFloat(Rotation(i));
    FloatMatrix acc = ms[0];
    int i = 0;
    for (auto _ : state) {
        FloatMatrix a = acc;
        FloatMultiply(a, ms[i]);
        benchmark::DoNotOptimize(a);
        i = (i + 1) & 15;
    }
}
BENCHMARK(MultiplyFloat);

void TransformPointFixed(benchmark::State& state)
{
    const Inputs& in = In();
    PMatrix3D m = Rotation(5);
    int i = 0;
    for (auto _ : state) {
        PVector3 p(in.fx[i], in.fy[i], in.fx[(i + 1) & (kRing - 1)]);
        m.TransformPoint(p);
        benchmark::DoNotOptimize(p);
        i = (i + 1) & (kRing - 1);
    }
}
BENCHMARK(TransformPointFixed);

void TransformPointFloat(benchmark::State& state)
{
    const Inputs& in = In();
    FloatMatrix m = ToFloat(Rotation(5));
    int i = 0;
    for (auto _ : state) {
        float p[3] = { in.x[i], in.y[i], in.x[(i + 1) & (kRing - 1)] };
        FloatTransform(m, p);
        benchmark::DoNotOptimize(p);
        i = (i + 1) & (kRing - 1);
    }
}
BENCHMARK(TransformPointFloat);

} // namespace
