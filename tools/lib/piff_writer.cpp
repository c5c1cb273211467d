#include "tools/lib/piff_writer.h"

#include "engine/runtime/piffreader.h"

PiffBuilder::PiffBuilder(uint32_t formType)
{
    Put32(PFourCC("PIFF"));
    m_open.push_back(m_bytes.size());
    Put32(0);
    Put32(formType);
}

void PiffBuilder::Put32(uint32_t v)
{
    for (int i = 0; i < 4; i++)
        m_bytes.push_back(uint8_t(v >> (8 * i)));
}

void PiffBuilder::Patch32(size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        m_bytes[at + i] = uint8_t(v >> (8 * i));
}

void PiffBuilder::Chunk(uint32_t id, void const* data, size_t size)
{
    Put32(id);
    Put32(uint32_t(size));
    auto p = static_cast<uint8_t const*>(data);
    m_bytes.insert(m_bytes.end(), p, p + size);
}

void PiffBuilder::BeginForm(uint32_t formType)
{
    Put32(PFourCC("FORM"));
    m_open.push_back(m_bytes.size());
    Put32(0);
    Put32(formType);
}

void PiffBuilder::EndForm()
{
    if (m_open.size() <= 1)
        return;
    size_t at = m_open.back();
    m_open.pop_back();
    Patch32(at, uint32_t(m_bytes.size() - at - 4));
}

std::vector<uint8_t> PiffBuilder::Finish()
{
    while (m_open.size() > 1)
        EndForm();
    Patch32(m_open[0], uint32_t(m_bytes.size() - m_open[0] - 4));
    return m_bytes;
}
