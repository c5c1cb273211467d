// A display of width x height that draws on a Mesa pbuffer with OpenGL ES
// 1.1 (at least `depth` depth bits), for the benchmarks that run the engine's
// drawing context on Mesa; Ok tells whether EGL gave the context.
#pragma once
#include "bench/egl_context.h"
#include "engine/platform/pdisplay.h"

namespace benchegl {

template <int W, int H, int Depth = 24>
class MesaDisplay : public PDisplay {
public:
    bool Ok() const { return m_egl.ok; }
    PBackBuffer* GetBackBuffer(PBackBufferType) override { return nullptr; }
    void Update(int) override {}
    void WaitVerticalBlank() override {}
    void GetInfo(PDisplayProperties& p) override
    {
        p = PDisplayProperties{};
        p.width = p.screenWidth = W;
        p.height = p.screenHeight = H;
    }
    int GetType() override { return PGRAPHICS_GLES1; }
    int GetCurrentOrientation() override { return 1; }

private:
    Context m_egl{1, W, H, Depth};
};

} // namespace benchegl
