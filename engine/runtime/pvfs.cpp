#include "engine/runtime/pvfs.h"

PVFS::PVFS()
    : m_flags(0), m_count(0), m_table(nullptr), m_stream(nullptr), m_lastReader(nullptr), m_archiveSize(0)
{
}

PVFS::~PVFS() {}

PStream* PVFS::Open(char const*, int) { return nullptr; }
