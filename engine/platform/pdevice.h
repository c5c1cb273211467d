// Device information, the platform profile, the phone-call monitor and the
// link launcher. Most answers are fixed on this platform.
#pragma once

#include "engine/platform/pjoystick.h"

class PEventHandler;

class PDevice {
public:
    static int GetDeviceID();
    static int GetDeviceIMEI(char* dst, int size);
    static int GetDeviceUID(char* dst, int size);
    static int GetMyPhoneNumber(char* dst, int size);
    static int GetOperatorName(char* dst, int size);
    static int GetOperatorCountryCode(char* dst, int size);
    static int GetDevicePlatform(char* dst, int size);
    // The machine's hardware name, always zero-terminated within size bytes;
    // returns the length written.
    static int GetDeviceModelName(char* dst, int size);
};

class PProfile {
public:
    static int GetGameVolume();
    static int GetLanguage();
};

class PCallMonitor : public PBaseObject {
public:
    virtual int Start() = 0;
    virtual void Stop() = 0;
    virtual void SetEventMask(int mask) = 0;
    virtual int GetStatus() = 0;
    virtual void Pause() {}
    virtual void Resume() {}

    // Null without a handler (error -2) or without memory (error -4).
    static PCallMonitor* Create(PEventHandler* handler, int* error);
};

class PCallMonitorStub : public PCallMonitor {
public:
    explicit PCallMonitorStub(PEventHandler* handler) : m_handler(handler) {}
    int Start() override { return -6; } // not available here
    void Stop() override {}
    void SetEventMask(int mask) override { m_eventMask = mask; }
    int GetStatus() override { return m_status; }

    PEventHandler* m_handler;
    int m_status = 0;
    int m_eventMask = -1;
};

// Opens a link in the desktop's browser; 1 when the launch succeeded.
int PLaunchURL(char const* url);
