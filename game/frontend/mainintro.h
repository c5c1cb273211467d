// The start-up sequence: the maker's picture on black for two seconds, then
// the title picture over the whole screen for up to ten. The fire or back
// key (or the tap the application turns into one) skips either.
#pragma once
#include <cstdint>

class Fonts;
class P3D;
class PSurface3D;
class Settings;
struct PDisplayProperties;

class MainIntro {
public:
    static constexpr const char* kMakerPicture = "data\\2dgfx\\norva.png";
    static constexpr const char* kTitlePicture = "data\\2dgfx\\titlebackground.png";
    static constexpr unsigned kMakerMs = 2000;
    static constexpr unsigned kTitleMs = 10000;
    // Key bits that skip a picture: fire and back.
    static constexpr unsigned kSkipKeys = 0x10 | 0x40;

    MainIntro(P3D* p3d, Fonts* fonts);
    virtual ~MainIntro();
    MainIntro(const MainIntro&) = delete;
    MainIntro& operator=(const MainIntro&) = delete;

    // 1 when both pictures load, else 0.
    int LoadIntro(PDisplayProperties* props, Settings* settings, uint8_t unused);
    // Draw one frame of a picture; 1 once it has been shown long enough or
    // was skipped, else 0. `now` is the application's time in ms.
    int ShowNorvalis(PDisplayProperties* props, unsigned now, unsigned keys);
    int ShowTitle(PDisplayProperties* props, unsigned now, unsigned keys);
    // The running wait: starts at the first call, ends (1) after duration
    // ms or at a skip key, and is then ready for the next wait.
    int ValidateTimer(unsigned now, unsigned duration, unsigned keys);

private:
    P3D* m_p3d;
    PSurface3D* m_maker = nullptr;
    PSurface3D* m_title = nullptr;
    unsigned m_start = 0;
    bool m_waiting = false;
};
