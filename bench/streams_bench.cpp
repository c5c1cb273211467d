// Streams: an archive entry against the same bytes in a plain file, PZStream
// against bare zlib inflate, and lookups in a large archive table.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>
#include <zlib.h>

#include <benchmark/benchmark.h>

#include "engine/runtime/pfile.h"
#include "engine/runtime/pvfs.h"
#include "engine/runtime/pzstream.h"
#include "tools/lib/plzp_writer.h"
#include "tools/lib/toolfile.h"
#include "tools/lib/vfs_writer.h"

namespace {

constexpr size_t kEntryBytes = 20u << 20;
constexpr int kChunk = 64 * 1024;

std::vector<uint8_t> Payload(size_t n)
{
    std::vector<uint8_t> out(n);
    std::mt19937 rng(7);
    static char const* words[] = {"runway ", "altitude ", "throttle ", "missile ", "radar "};
    size_t i = 0;
    while (i < n) {
        if (rng() % 5 == 0) {
            for (int k = 0; k < 12 && i < n; k++)
                out[i++] = uint8_t(rng());
        } else {
            for (char const* w = words[rng() % 5]; *w && i < n; w++)
                out[i++] = uint8_t(*w);
        }
    }
    return out;
}

// A 20 MB entry in an archive on disk and the same bytes as a plain file.
struct DiskFiles {
    std::string dir, archive, plain;
    DiskFiles()
    {
        char tmpl[] = "/tmp/krv_bench_streams_XXXXXX";
        if (!::mkdtemp(tmpl))
            std::abort();
        dir = tmpl;
        archive = dir + "/data.vfs";
        plain = dir + "/big.bin";
        std::vector<uint8_t> data = Payload(kEntryBytes);
        std::string err;
        VfsBuilder b(true);
        if (!b.Add("data\\big.bin", data, false, &err) || !b.Add("data\\small.bin", {1, 2, 3}, false, &err) ||
            !b.WriteFile(archive, &err) || !WriteFileAtomic(plain, data, &err)) {
            std::fprintf(stderr, "%s\n", err.c_str());
            std::abort();
        }
    }
    ~DiskFiles()
    {
        ::unlink(archive.c_str());
        ::unlink(plain.c_str());
        ::rmdir(dir.c_str());
    }
};

DiskFiles& Files()
{
    static DiskFiles f;
    return f;
}

void ReadAllFrom(PStream* s, benchmark::State& state)
{
    static std::vector<uint8_t> buf(kChunk);
    long total = 0;
    int n;
    while ((n = s->Read(buf.data(), kChunk)) > 0)
        total += n;
    if (total != long(kEntryBytes))
        state.SkipWithError("short read");
    benchmark::DoNotOptimize(buf.data());
}

void BM_ReadPlainFile(benchmark::State& state)
{
    DiskFiles& f = Files();
    for (auto _ : state) {
        PFile file(f.plain.c_str(), PFile::kRead);
        ReadAllFrom(&file, state);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kEntryBytes));
}
BENCHMARK(BM_ReadPlainFile)->Unit(benchmark::kMillisecond);

void BM_ReadArchiveEntry(benchmark::State& state)
{
    DiskFiles& f = Files();
    PVFS vfs(f.archive.c_str());
    for (auto _ : state) {
        PStream* s = vfs.Open("data/big.bin");
        if (!s) {
            state.SkipWithError("entry missing");
            break;
        }
        ReadAllFrom(s, state);
        delete s;
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kEntryBytes));
}
BENCHMARK(BM_ReadArchiveEntry)->Unit(benchmark::kMillisecond);

struct Packed {
    std::vector<uint8_t> plain, zlibData;
    Packed() : plain(Payload(8u << 20))
    {
        if (!PlzpCompress(plain.data(), plain.size(), 6, PlzpForm::Zlib, &zlibData))
            std::abort();
    }
};

Packed& Pack()
{
    static Packed p;
    return p;
}

void BM_InflateBareZlib(benchmark::State& state)
{
    Packed& p = Pack();
    std::vector<uint8_t> out(kChunk);
    for (auto _ : state) {
        z_stream z;
        std::memset(&z, 0, sizeof z);
        inflateInit(&z);
        z.next_in = p.zlibData.data();
        z.avail_in = uInt(p.zlibData.size());
        int r;
        do {
            z.next_out = out.data();
            z.avail_out = kChunk;
            r = inflate(&z, Z_SYNC_FLUSH);
        } while (r == Z_OK);
        if (r != Z_STREAM_END || z.total_out != p.plain.size())
            state.SkipWithError("inflate failed");
        inflateEnd(&z);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(p.plain.size()));
}
BENCHMARK(BM_InflateBareZlib)->Unit(benchmark::kMillisecond);

void BM_InflatePZStream(benchmark::State& state)
{
    Packed& p = Pack();
    std::vector<uint8_t> out(kChunk);
    for (auto _ : state) {
        PZStream z(p.zlibData.data(), long(p.zlibData.size()), PZStream::kRead);
        long total = 0;
        int n;
        while ((n = z.Read(out.data(), kChunk)) > 0)
            total += n;
        if (total != long(p.plain.size()))
            state.SkipWithError("inflate failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(p.plain.size()));
}
BENCHMARK(BM_InflatePZStream)->Unit(benchmark::kMillisecond);

// 10,000 lookups in an archive of 5,000 entries.
void BM_Find10kIn5k(benchmark::State& state)
{
    VfsBuilder b(true);
    std::string err;
    std::vector<uint32_t> hashes;
    for (int i = 0; i < 5000; i++) {
        std::string name = "data\\objects\\mesh" + std::to_string(i) + ".pof";
        if (!b.Add(name, {uint8_t(i)}, false, &err)) {
            state.SkipWithError(err.c_str());
            return;
        }
        hashes.push_back(b.HashOf(name));
    }
    std::vector<uint8_t> bytes;
    b.Build(&bytes, &err);
    PVFS vfs(new PMemStream(bytes.data(), long(bytes.size())), 1, 1);
    std::mt19937 rng(3);
    std::vector<uint32_t> queries(10000);
    for (uint32_t& q : queries)
        q = hashes[rng() % hashes.size()];
    for (auto _ : state) {
        int found = 0;
        for (uint32_t q : queries)
            found += vfs.Find(q) != nullptr;
        if (found != 10000)
            state.SkipWithError("lookup failed");
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_Find10kIn5k)->Unit(benchmark::kMicrosecond);

} // namespace
