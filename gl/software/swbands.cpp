#include "gl/software/swbands.h"

#include "engine/runtime/pdebug.h"

#include <sched.h>

#include <cerrno>
#include <cstdlib>
#include <algorithm>
#include <cstdint>
#include <new>

namespace vornGL {

PBandDrawer::PBandDrawer(int threads) : m_threads(threads) {}

PBandDrawer* PBandDrawer::Create(int threads)
{
    if (threads < 2)
        return nullptr;
    auto* d = new (std::nothrow) PBandDrawer(threads);
    if (!d)
        return nullptr;
    d->m_workers.reserve(size_t(threads - 1));
    for (int i = 1; i < threads; ++i)
        d->m_workers.emplace_back(&PBandDrawer::Worker, d);
    return d;
}

PBandDrawer::~PBandDrawer()
{
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
    size_t first = m_vertices.size();
    m_vertices.reserve(first + 3 * size_t(count));
    int32_t yMin = INT32_MAX, yMax = INT32_MIN;
    for (int i = 0; i < 3 * count; ++i) {
        m_vertices.push_back(*tris[i]);
        yMin = std::min(yMin, tris[i]->y);
        yMax = std::max(yMax, tris[i]->y);
    }
    // The rows its triangles can reach: from ceil(yMin) up to ceil(yMax).
    m_commands.push_back(Command{s, d, first, count, int32_t((int64_t(yMin) + 0xFFFF) >> 16),
                                 int32_t((int64_t(yMax) + 0xFFFF) >> 16)});
}

// Band b of n: rows [b * height / n, (b + 1) * height / n).
void PBandDrawer::DrawBand(int band)
{
    int32_t top = int32_t(int64_t(band) * m_height / m_bandCount);
    int32_t bottom = int32_t(int64_t(band + 1) * m_height / m_bandCount);
    if (bottom <= top)
        return;
    for (Command const& c : m_commands) {
        if (c.rowEnd <= top || c.rowBegin >= bottom)
            continue;
        PTriangleSetup s = c.setup;
        s.bandTop = top;
        s.bandBottom = bottom;
        RasterizeTriangles(s, c.params, m_pointers.data() + c.first, c.count);
    }
}

// Each thread takes the next band not yet taken until none is left, so
// that a thread the system holds back delays no band but its own.
void PBandDrawer::DrawBands()
{
    for (int b; (b = m_next.fetch_add(1)) < m_bandCount;)
        DrawBand(b);
}

void PBandDrawer::Worker()
{
    unsigned seen = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_start.wait(lock, [&] { return m_quit || m_generation != seen; });
            if (m_quit)
                return;
            seen = m_generation;
        }
        DrawBands();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (--m_busy == 0)
                m_done.notify_one();
        }
    }
}

void PBandDrawer::Flush(int height)
{
    if (m_commands.empty())
        return;
    // The vertices no longer move: their addresses are taken once.
    m_pointers.resize(m_vertices.size());
    for (size_t i = 0; i < m_vertices.size(); ++i)
        m_pointers[i] = &m_vertices[i];
    m_height = height;
    // Bands of at least 8 rows, two for each thread.
    m_bandCount = std::max(1, std::min(2 * m_threads, height / 8));
    m_next.store(0);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_busy = m_threads - 1;
        ++m_generation;
    }
    m_start.notify_all();
    DrawBands();
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_done.wait(lock, [&] { return m_busy == 0; });
    }
    m_commands.clear();
    m_vertices.clear();
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
