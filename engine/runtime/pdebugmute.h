// Muting the debug log for attempts whose misses are expected, such as
// looking for a file in one folder of a search list when a later folder may
// hold it.
#pragma once

// While one lives (on this thread), _PDebug drops its messages. Scopes nest;
// a scope made with on = false does nothing.
class PDebugMute {
public:
    explicit PDebugMute(bool on = true);
    ~PDebugMute();
    PDebugMute(PDebugMute const&) = delete;
    PDebugMute& operator=(PDebugMute const&) = delete;

private:
    bool m_on;
};
