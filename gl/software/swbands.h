// Drawing on several threads. The draw calls of a frame are kept (each with a
// copy of its set-up record, its draw parameters and its triangles' vertices)
// and drawn when the picture is needed: the surface is cut into bands of
// whole rows, a few per thread, each thread takes the next band left and
// draws every kept triangle that reaches it, in the order of the calls,
// writing only the band's rows. A
// span routine steps over the rows outside its band with the same wrapping
// arithmetic as the single pass, so the picture is the one a single thread
// draws, byte for byte.
//
// Internal to the software back end.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

#include "gl/software/swsetup.h"

namespace vornGL {

class PBandDrawer {
public:
    // threads: 2 or more (the calling thread is one of them); null when a
    // thread cannot be started.
    static PBandDrawer* Create(int threads);
    ~PBandDrawer();
    PBandDrawer(PBandDrawer const&) = delete;
    PBandDrawer& operator=(PBandDrawer const&) = delete;

    int Threads() const { return m_threads; }
    bool Empty() const { return m_commands.empty(); }

    // Keeps count triangles drawn with the record s (as the draw call filled
    // it) and the parameters d.
    void Add(PTriangleSetup const& s, PDrawParams const& d, PVertex* const* tris, int count);
    // Draws what was kept on rows 0 to height - 1, then forgets it.
    void Flush(int height);

private:
    explicit PBandDrawer(int threads);
    void Worker();
    void DrawBands();
    void DrawBand(int band);

    struct Command {
        PTriangleSetup setup;
        PDrawParams params;
        size_t first; // index of its first vertex
        int count;    // triangles
        int32_t rowBegin, rowEnd; // rows the triangles may reach, [rowBegin, rowEnd)
    };

    int m_threads;
    int m_height = 0;
    int m_bandCount = 1;
    std::atomic<int> m_next{0}; // the next band to draw
    std::vector<Command> m_commands;
    std::vector<PVertex> m_vertices;
    std::vector<PVertex const*> m_pointers;

    std::mutex m_mutex;
    std::condition_variable m_start, m_done;
    unsigned m_generation = 0; // counts the flushes handed to the workers
    int m_busy = 0;            // workers still drawing the current flush
    bool m_quit = false;
    std::vector<std::thread> m_workers;
};

// The drawing threads asked for: KRV_SW_THREADS (1 to 64; 1 draws on the
// calling thread alone, as each call comes), else the processors this process
// may run on, at most 8.
int DrawThreadsWanted();

} // namespace vornGL
