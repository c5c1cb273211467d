// The drawing context on a display of graphics type 0 draws through the
// software back end into the display's back buffer.
#include "engine/graphics/p3d.h"
#include "sw_fixture.h"

using namespace swtest;

namespace {

TEST(SwDrawingContext, DrawsIntoTheBackBuffer)
{
    MemoryDisplay display(64, 48);
    ASSERT_EQ(display.GetType(), 0);
    P3D* p3d = P3D::Create(&display, nullptr);
    ASSERT_NE(p3d, nullptr);
    EXPECT_FALSE(p3d->IsHW());
    p3d->Clear(0xFF000000);
    p3d->FillRect(8, 4, 20, 10, 0xFFFF0000, P3DBLEND_OPAQUE);
    PBackBuffer& bb = display.Buffer();
    int red = 0;
    for (int i = 0; i < 64 * 48; ++i)
        red += bb.pixels[i] == 0xF800;
    EXPECT_EQ(red, 20 * 10);
    EXPECT_EQ(bb.pixels[4 * 64 + 8], 0xF800);  // top-left corner, rows from the top
    EXPECT_EQ(bb.pixels[13 * 64 + 27], 0xF800); // bottom-right corner
    delete p3d;
}

// A display without a back buffer gives no context.
class NoBuffer : public MemoryDisplay {
public:
    NoBuffer() : MemoryDisplay(8, 8) {}
    PBackBuffer* GetBackBuffer(PBackBufferType) override { return nullptr; }
};

TEST(SwDrawingContext, FailsWithoutBackBuffer)
{
    NoBuffer display;
    EXPECT_EQ(P3D::Create(&display, nullptr), nullptr);
}

} // namespace
