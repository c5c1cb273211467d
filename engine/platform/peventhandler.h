// The abstract receiver of numbered events: the application dispatcher, the
// joystick's and the call monitor's listeners all take events through it.
#pragma once

class PEventHandler {
public:
    virtual int OnEvent(int code, int a, int b) = 0;

protected:
    // Never deleted through this interface.
    ~PEventHandler() = default;
};
