// The contract between the platform layer and the game: the dispatcher turns
// numbered events into named calls and lets the application stop or pause the
// loop; the game derives its one application object from PGameApp and makes
// it in PGameApp::Create.
#pragma once
#include <cstdint>

#include "engine/platform/peventhandler.h"

class PGameSystemManager;

// Event codes the dispatcher understands.
enum PGameEventCode {
    PEVENT_POINTER_MOVE = 2, // a = y << 16 | (x & 0xFFFF), b = pointer word
    PEVENT_REDRAW = 3,
    PEVENT_FOCUS = 4,        // a = 1 gained, 0 lost
    PEVENT_CLOSE = 5,
    PEVENT_EXIT = 6,
    PEVENT_SYSTEM = 35,      // a = system notification
};

// The pointer word of the touch calls: bit 31 always set, bits 16-30 the
// touch id, bit 0 set while the touch is pressed (press and move).
constexpr int PPointerWord(int id, int pressed)
{
    return int(0x80000000u | (uint32_t(id & 0x7FFF) << 16) | uint32_t(pressed ? 1 : 0));
}

class PGameDispatcher : public PEventHandler {
public:
    PGameDispatcher() = default;
    PGameDispatcher(PGameDispatcher const&) = delete;
    PGameDispatcher& operator=(PGameDispatcher const&) = delete;

    int OnEvent(int code, int a, int b) override;
    virtual ~PGameDispatcher();
    virtual int Init() = 0;
    virtual void OnFocus(int gained);
    virtual int OnInput(int, int, int);
    virtual int OnMouseButton(int x, int y, int button, int pointer);
    virtual int OnMouseMove(int x, int y, int pointer);
    virtual void OnRedraw();
    virtual void OnClose();
    virtual void OnExit();
    virtual int MainLoop() = 0;

    // Ends the loop after the current pass: run state 2 with this exit code.
    void Exit(int code);
    // Run state 0 becomes 1; any other state is kept.
    void Pause();
    // Run state 1 becomes 0 and the system manager hears OnResume.
    void Resume();

    PGameSystemManager* GetSystemManager() const { return m_sysman; }
    void SetSystemManager(PGameSystemManager* sysman) { m_sysman = sysman; }

    // The key tables (filled by the system manager's Init).
    static int GetKeyMapping(int scan);
    static void SetKeyMapping(int scan, int code);
    static unsigned GetKeyMask(int scan);
    static void SetKeyMask(int scan, unsigned mask);
    static int GetScanCode(int code);
    static void SetSystemTimeSlice(unsigned slice);

private:
    PGameSystemManager* m_sysman = nullptr;
};

class PGameApp : public PGameDispatcher {
public:
    ~PGameApp() override;
    // Supplied by the game: allocates its application object, or null.
    static PGameApp* Create();
};

// Key tables indexed by scan code (0-511), and the stored time slice.
constexpr int PKEY_TABLE_SIZE = 512;
extern uint16_t m_keycodes[PKEY_TABLE_SIZE];
extern uint32_t m_keymasks[PKEY_TABLE_SIZE];
extern unsigned m_timeslice;
