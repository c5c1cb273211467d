// Drawing on several threads. The draw calls are kept (each with a copy of
// its set-up record, its draw parameters and its triangles' vertices) in
// batches; a full batch is drawn by the other threads while the calling
// thread transforms the next, and the rest when the picture is needed. For a
// batch the surface is cut into bands of whole rows, a few per thread; each
// thread takes the next band left and draws every kept triangle that reaches
// it, in the order of the calls, writing only the band's rows. A span routine
// steps over the rows outside its band with the same wrapping arithmetic as
// the single pass, so the picture is the one a single thread draws, byte for
// byte.
//
// Internal to the software back end.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "gl/software/swsetup.h"

namespace vornGL {

class PBandDrawer {
public:
    // threads: 2 or more (the calling thread is one of them); height: the
    // surface's rows. Null when a thread cannot be started.
    static PBandDrawer* Create(int threads, int height);
    ~PBandDrawer();
    PBandDrawer(PBandDrawer const&) = delete;
    PBandDrawer& operator=(PBandDrawer const&) = delete;

    int Threads() const { return m_threads; }
    bool Empty() const { return !m_drawing && m_batches[m_fill].commands.empty(); }

    // Keeps count triangles drawn with the record s (as the draw call filled
    // it) and the parameters d. Every few thousand triangles the calls kept
    // so far go to the other threads, which draw them while this one goes on.
    void Add(PTriangleSetup const& s, PDrawParams const& d, PVertex* const* tris, int count);
    // Draws everything kept, and returns when it is drawn.
    void Flush();

private:
    PBandDrawer(int threads, int height);

    struct Command {
        PTriangleSetup setup;
        PDrawParams params;
        size_t first; // index of its first vertex
        int count;    // triangles
        int32_t rowBegin, rowEnd; // rows the triangles may reach, [rowBegin, rowEnd)
    };
    struct Batch {
        std::vector<Command> commands;
        std::vector<PVertex> vertices;
        std::vector<PVertex const*> pointers;
        size_t triangles = 0;
    };
    static constexpr size_t kBatchTriangles = 2048;

    void Worker();
    void Hand();
    void Wait();
    void DrawBands(Batch const* batch, uint32_t generation);
    void DrawBand(Batch const& batch, int band);

    int m_threads;
    int m_height;
    int m_bandCount;
    Batch m_batches[2];
    int m_fill = 0;              // the batch being filled
    Batch* m_drawing = nullptr;  // the batch the threads draw
    std::atomic<uint64_t> m_claim{0}; // its number (high word) and its next band
    std::atomic<int> m_drawn{0};      // its bands drawn

    std::mutex m_mutex;
    std::condition_variable m_start, m_done;
    uint32_t m_generation = 0; // counts the batches handed to the workers
    bool m_quit = false;
    std::vector<std::thread> m_workers;
};

// The drawing threads asked for: KRV_SW_THREADS (1 to 64; 1 draws on the
// calling thread alone, as each call comes), else the processors this process
// may run on, at most 8.
int DrawThreadsWanted();

} // namespace vornGL
