// The Linux stand-in for the tablet's event service, navigator, orientation
// and accelerometer services. The platform layer polls it exactly as it would
// poll the tablet: one queue of events by domain and code, drained without
// waiting. Two flavours feed it: the desktop (an SDL2 window) and headless
// (a script of timed events).
#pragma once
#include <string>
#include <vector>

namespace host {

// Event domains.
enum {
    DOMAIN_SCREEN = 1,
    DOMAIN_NAVIGATOR = 3,
    DOMAIN_ORIENTATION = 4,
    DOMAIN_ORIENTATION_CHECK = 7,
    DOMAIN_ORIENTATION_DONE = 8,
};
// Screen event types.
enum { SCREEN_TOUCH = 100, SCREEN_MOVE = 101, SCREEN_RELEASE = 102 };
// Navigator codes.
enum { NAV_EXIT = 2, NAV_WINDOW_STATE = 3, NAV_WINDOW_ACTIVE = 10, NAV_WINDOW_INACTIVE = 11 };
// Window states.
enum { WINDOW_FULLSCREEN = 0, WINDOW_THUMBNAIL = 1, WINDOW_INVISIBLE = 2 };

struct Event {
    int domain = 0;
    int code = 0;        // screen: event type; navigator: code
    int touchId = 0;     // screen
    int x = 0, y = 0;    // screen: position in window pixels
    int windowState = 0; // navigator window state
    int angle = 0;       // orientation check / done
    int direction = 0;   // orientation
};

// Starts the configured flavour; 0 when it cannot start (logged).
int EventServiceStart();
void EventServiceStop();
int EventServiceRunning();
// Moves the next pending event into ev and returns 1; 0 when none is pending.
int GetEvent(Event* ev);
// 1 once the navigator's exit has been delivered and the grace period the
// tablet gives an application to end by itself has passed, or at once after
// the exit when the process got a stop signal (SIGINT, SIGTERM).
int SessionOver();

// Orientation and navigator services.
void OrientationGet(int* direction, int* angle);
int OrientationRequestEvents();
int NavRequestEvents();
int NavSetOrientation(int angle);
void NavOrientationCheckResponse(Event const& ev, int accept);
void NavDoneOrientation(Event const& ev);

// Accelerometer: forces in g; ReadForces returns 0 on success.
int AccelerometerIsSupported();
int AccelerometerReadForces(double* x, double* y, double* z);
int AccelerometerSetUpdateFrequency(int hz);

// Opens a link with the desktop's opener (xdg-open unless configured);
// 1 when the opener ran and reported success.
int OpenLink(char const* url);

// What the services were asked, one line per call ("set-orientation 0",
// "orientation-response 1", ...), for tests and diagnostics: the latest 64
// calls, oldest first.
std::vector<std::string> CallLog();
void ClearCallLog();

} // namespace host
