// The process-wide globals pointer. The application installs its globals block
// there; the engine itself reads only the open archive from it.
#pragma once

class PVFS;

struct PGlobals {
    void* sharedImages[8]; // the application's shared interface images
    PVFS* archive;         // the open data archive: last fall-back of read-only file opens
    void* reserved;
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
