// The system manager owns the application and the display and runs the one
// loop of the program: one MainLoop call, then all pending platform events.
#pragma once
#include <cstdint>

class PGameDispatcher;
class PDisplay;

// Run states.
enum { PRUN_RUNNING = 0, PRUN_PAUSED = 1, PRUN_EXIT = 2 };

class PGameSystemManager {
public:
    PGameSystemManager() = default;
    PGameSystemManager(PGameSystemManager const&) = delete;
    PGameSystemManager& operator=(PGameSystemManager const&) = delete;
    // Deletes the application, then the display.
    virtual ~PGameSystemManager();
    // Creates the application and runs its Init: 1 when it could start.
    virtual int Init(void* arg);
    virtual void OnExit() {}
    virtual void OnResume() {}

    PGameDispatcher* m_app = nullptr; // owned
    int32_t m_runState = PRUN_RUNNING;
    int32_t m_exitCode = 0;
    PDisplay* m_display = nullptr; // owned; set by PDisplay::Get3D
};

class PRimSystemManager : public PGameSystemManager {
public:
    PRimSystemManager() = default;
    ~PRimSystemManager() override;
    int Init(void* arg) override;

    // Runs until the run state is 2; returns 2 when the application had
    // already been sent the exit event, else the run state.
    int Run();
    // Reads the accelerometer once and drains the platform events without
    // waiting.
    void HandleEvents();
    PDisplay* GetDisplay() const { return m_display; }

    int32_t m_exitSeen = 0;   // the application was sent OnEvent(6, 0, 0)
    int32_t m_touchDown = 0;  // between a touch press and a release
    int32_t m_active = 0;     // the last focus event sent was "gained"
    int32_t m_orientationDirection = 0;
    int32_t m_orientationAngle = 0;
};

extern PRimSystemManager* m_global_sysman;

// The program's start-up, loop and shut-down (what main runs once the host
// is configured). sleepMs replaces PSleep for the start-up wait (null: PSleep).
// Returns the exit status: 1 when the application could not start (see
// PSetStartFailure), else the code the application exited with.
int PMain(void (*sleepMs)(unsigned ms) = nullptr);

// The application says why it cannot start, in a few words; only the first
// cause is kept. PStartFailure is null when none was given.
void PSetStartFailure(char const* cause);
char const* PStartFailure();
