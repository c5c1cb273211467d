// The loading screen: the shared background, a caption and a progress bar.
// Every Update advances the bar by one step, draws the whole screen and
// presents it, so a load spread over frames keeps the screen alive.
#pragma once
#include <cstdint>

class Fonts;
class P3D;
class PDisplay;

class Loading {
public:
    // Totals with a meaning of their own: a full bar with the usual caption,
    // and a full bar with the "ready" caption.
    static constexpr int kTotalFull = -1;
    static constexpr int kTotalReady = -2;
    static constexpr unsigned kCaptionLoading = 116;
    static constexpr unsigned kCaptionReady = 195;
    static constexpr unsigned kHeading = 117;
    static constexpr int kHeadingY = 12;
    static constexpr int kFont = 0;
    static constexpr unsigned kFrameColour = 0xff5a4221;
    static constexpr unsigned kFillColour = 0xfffff5e1;
    // The shared background among the application's interface images.
    static constexpr int kBackgroundImage = 7;

    Loading(P3D* p3d, PDisplay* display, int width, int height, Fonts* fonts);

    void DefineBar(int y, int width, int height);
    void SetSize(int width, int height);
    // Starts a load of `total` steps (or one of the special totals).
    void Init(int total);
    // One step: advances, draws and presents the screen.
    void Update();

    // The bar's fill in pixels for the current step.
    int FillWidth() const;

private:
    P3D* m_p3d;
    PDisplay* m_display;
    int m_width;
    int m_height;
    Fonts* m_fonts;
    int m_total = kTotalFull;
    int m_step = 0;
    int m_barY = 0;
    int m_barWidth = 0;
    int m_barHeight = 0;
};
