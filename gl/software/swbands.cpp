#include "gl/software/swbands.h"

#include "engine/runtime/pdebug.h"

#include <sched.h>

#include <cerrno>
#include <cstdlib>
#include <algorithm>
#include <cstdint>
#include <new>

namespace vornGL {

PBandDrawer::PBandDrawer(int threads, int height)
    : m_threads(threads), m_height(height),
      // Bands of at least 8 rows, two for each thread.
      m_bandCount(std::max(1, std::min(2 * threads, height / 8)))
{
}

PBandDrawer* PBandDrawer::Create(int threads, int height)
{
    if (threads < 2 || height <= 0)
        return nullptr;
    auto* d = new (std::nothrow) PBandDrawer(threads, height);
    if (!d)
        return nullptr;
    d->m_workers.reserve(size_t(threads - 1));
    for (int i = 1; i < threads; ++i)
        d->m_workers.emplace_back(&PBandDrawer::Worker, d);
    return d;
}

PBandDrawer::~PBandDrawer()
{
    Flush();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
    }
    m_start.notify_all();
    for (std::thread& t : m_workers)
        t.join();
}

void PBandDrawer::Add(PTriangleSetup const& s, PDrawParams const& d, PVertex* const* tris, int count)
{
    if (count <= 0)
        return;
    Batch& f = m_batches[m_fill];
    size_t first = f.vertices.size();
    f.vertices.reserve(first + 3 * size_t(count));
    int32_t yMin = INT32_MAX, yMax = INT32_MIN;
    for (int i = 0; i < 3 * count; ++i) {
        f.vertices.push_back(*tris[i]);
        yMin = std::min(yMin, tris[i]->y);
        yMax = std::max(yMax, tris[i]->y);
    }
    // The rows its triangles can reach: from ceil(yMin) up to ceil(yMax).
    f.commands.push_back(Command{s, d, first, count, int32_t((int64_t(yMin) + 0xFFFF) >> 16),
                                 int32_t((int64_t(yMax) + 0xFFFF) >> 16)});
    f.triangles += size_t(count);
    // A full batch goes to the other threads while this one goes on.
    if (f.triangles >= kBatchTriangles)
        Hand();
}

// Band b of n: rows [b * height / n, (b + 1) * height / n).
void PBandDrawer::DrawBand(Batch const& batch, int band)
{
    int32_t top = int32_t(int64_t(band) * m_height / m_bandCount);
    int32_t bottom = int32_t(int64_t(band + 1) * m_height / m_bandCount);
    if (bottom <= top)
        return;
    for (Command const& c : batch.commands) {
        if (c.rowEnd <= top || c.rowBegin >= bottom)
            continue;
        PTriangleSetup s = c.setup;
        s.bandTop = top;
        s.bandBottom = bottom;
        RasterizeTriangles(s, c.params, batch.pointers.data() + c.first, c.count);
    }
}

// Each thread takes the next band not yet taken until none is left, so
// that a thread the system holds back delays no band but its own. A band is
// taken together with the number of its batch: a thread that wakes late for
// a batch already drawn takes nothing from the next.
void PBandDrawer::DrawBands(Batch const* batch, uint32_t generation)
{
    for (;;) {
        uint64_t cur = m_claim.load();
        int band;
        do {
            if (uint32_t(cur >> 32) != generation || int(uint32_t(cur)) >= m_bandCount)
                return;
            band = int(uint32_t(cur));
        } while (!m_claim.compare_exchange_weak(cur, cur + 1));
        DrawBand(*batch, band);
        if (m_drawn.fetch_add(1) + 1 == m_bandCount) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done.notify_one();
        }
    }
}

void PBandDrawer::Worker()
{
    uint32_t seen = 0;
    for (;;) {
        Batch const* batch;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_start.wait(lock, [&] { return m_quit || m_generation != seen; });
            if (m_quit)
                return;
            seen = m_generation;
            batch = m_drawing;
        }
        DrawBands(batch, seen);
    }
}

// Helps with the batch being drawn and waits until each of its bands is.
void PBandDrawer::Wait()
{
    if (!m_drawing)
        return;
    DrawBands(m_drawing, m_generation);
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_done.wait(lock, [&] { return m_drawn.load() == m_bandCount; });
        m_drawing->commands.clear();
        m_drawing->vertices.clear();
        m_drawing->triangles = 0;
        m_drawing = nullptr;
    }
}

// Hands the batch being filled to the other threads, after the one they
// draw (the bands must see the calls in order); filling goes on in the other.
void PBandDrawer::Hand()
{
    Wait();
    Batch& f = m_batches[m_fill];
    if (f.commands.empty())
        return;
    // The vertices no longer move: their addresses are taken once.
    f.pointers.resize(f.vertices.size());
    for (size_t i = 0; i < f.vertices.size(); ++i)
        f.pointers[i] = &f.vertices[i];
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_drawing = &f;
        ++m_generation;
        m_drawn.store(0);
        m_claim.store(uint64_t(m_generation) << 32);
    }
    m_start.notify_all();
    m_fill ^= 1;
}

void PBandDrawer::Flush()
{
    Hand();
    Wait();
}

int DrawThreadsWanted()
{
    if (char const* v = std::getenv("KRV_SW_THREADS"); v && *v) {
        char* end = nullptr;
        errno = 0;
        long n = std::strtol(v, &end, 10);
        if (!errno && !*end && n >= 1 && n <= 64)
            return int(n);
        _PDebug("P3DBackendSW: KRV_SW_THREADS \"%s\" is not 1 to 64; the default is used\n", v);
    }
    cpu_set_t set;
    CPU_ZERO(&set);
    int n = sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 1;
    return n < 1 ? 1 : n > 8 ? 8 : n;
}

} // namespace vornGL
