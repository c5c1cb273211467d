#include "tools/lib/piff_writer.h"

#include "engine/runtime/piffreader.h"
#include "engine/runtime/pstream.h"
#include "tools/lib/toolfile.h"

PiffBuilder::PiffBuilder(uint32_t formType)
{
    PutLE32(m_bytes, PFourCC("PIFF"));
    m_open.push_back(m_bytes.size());
    PutLE32(m_bytes, 0);
    PutLE32(m_bytes, formType);
}

void PiffBuilder::Chunk(uint32_t id, void const* data, size_t size)
{
    PutLE32(m_bytes, id);
    PutLE32(m_bytes, uint32_t(size));
    auto p = static_cast<uint8_t const*>(data);
    m_bytes.insert(m_bytes.end(), p, p + size);
}

void PiffBuilder::BeginForm(uint32_t formType)
{
    PutLE32(m_bytes, PFourCC("FORM"));
    m_open.push_back(m_bytes.size());
    PutLE32(m_bytes, 0);
    PutLE32(m_bytes, formType);
}

void PiffBuilder::EndForm()
{
    if (m_open.size() <= 1)
        return;
    size_t at = m_open.back();
    m_open.pop_back();
    PStore32(&m_bytes[at], uint32_t(m_bytes.size() - at - 4));
}

std::vector<uint8_t> PiffBuilder::Finish()
{
    while (m_open.size() > 1)
        EndForm();
    PStore32(&m_bytes[m_open[0]], uint32_t(m_bytes.size() - m_open[0] - 4));
    return m_bytes;
}
