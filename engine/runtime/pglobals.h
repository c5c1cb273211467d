// The process-wide globals pointer. The application installs its globals block
// there; the engine itself reads only the open archive from it.
#pragma once
#include <cstdint>

class PVFS;
class PSurface3D;

// The application's globals block; created zeroed (PGlobals{}).
struct PGlobals {
    PSurface3D* sharedImages[8]; // the application's shared interface images (null: missing)
    PVFS* archive;               // the open data archive: last fall-back of read-only file opens
    uint8_t multiplayer;         // 1 when the device offers multiplayer
};

void PSetTls(void* p);
void* PGetTls();

// The installed block seen through its type (null when none is installed).
inline PGlobals* PGetGlobals() { return static_cast<PGlobals*>(PGetTls()); }
// The open archive, or null.
inline PVFS* PGetArchive()
{
    PGlobals* g = PGetGlobals();
    return g ? g->archive : nullptr;
}
