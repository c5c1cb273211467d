#include "engine/platform/pdevice.h"

#include <sys/utsname.h>

#include <cstring>

#include "host/hostevents.h"

namespace {

// Copies src into dst of size bytes, always terminated; returns the length copied.
int CopyTerminated(char* dst, int size, char const* src)
{
    if (!dst || size <= 0)
        return 0;
    int n = int(std::strlen(src));
    if (n > size - 1)
        n = size - 1;
    std::memcpy(dst, src, size_t(n));
    dst[n] = 0;
    return n;
}

} // namespace

int PDevice::GetDeviceID() { return 0; }
int PDevice::GetDeviceIMEI(char*, int) { return 0; }
int PDevice::GetDeviceUID(char*, int) { return 0; }
int PDevice::GetMyPhoneNumber(char*, int) { return 0; }

int PDevice::GetOperatorName(char* dst, int size)
{
    CopyTerminated(dst, size, "Operator stub");
    return 14;
}

int PDevice::GetOperatorCountryCode(char* dst, int size)
{
    CopyTerminated(dst, size, "Country stub");
    return 13;
}

// The operating system the program runs on, as the kernel names it.
int PDevice::GetDevicePlatform(char* dst, int size)
{
    struct utsname names;
    if (uname(&names) != 0)
        return CopyTerminated(dst, size, "");
    return CopyTerminated(dst, size, names.sysname);
}

int PDevice::GetDeviceModelName(char* dst, int size)
{
    struct utsname names;
    if (uname(&names) != 0)
        return CopyTerminated(dst, size, "");
    return CopyTerminated(dst, size, names.machine);
}

int PProfile::GetGameVolume() { return -1; }
int PProfile::GetLanguage() { return -1; }

PCallMonitor* PCallMonitor::Create(PEventHandler* handler, int* error)
{
    if (!handler) {
        if (error)
            *error = -2;
        return nullptr;
    }
    PCallMonitor* monitor = new PCallMonitorStub(handler);
    if (error)
        *error = monitor ? 0 : -4;
    return monitor;
}

int PLaunchURL(char const* url)
{
    return url && *url ? host::OpenLink(url) : 0;
}
