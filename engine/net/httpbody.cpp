#include "engine/net/httpbody.h"

#include "engine/runtime/palloc.h"

PHTTPBodyBlob::PHTTPBodyBlob(const void* data, int size)
    : m_data(static_cast<unsigned char*>(const_cast<void*>(data))), m_size(data && size > 0 ? size : 0), m_owned(false)
{
}

PHTTPBodyBlob::PHTTPBodyBlob(int size) : m_data(nullptr), m_size(0), m_owned(true)
{
    if (size < 0)
        return;
    m_data = static_cast<unsigned char*>(PAlloc(size));
    if (m_data)
        m_size = size;
}

PHTTPBodyBlob::~PHTTPBodyBlob()
{
    if (m_owned)
        PFree(m_data);
}

const unsigned char* PHTTPBodyBlob::Data(int& length)
{
    if (!m_data || m_size <= 0) {
        length = 0;
        return nullptr;
    }
    length = m_size;
    return m_data;
}

PHTTPBodyChunk::PHTTPBodyChunk(const void* data, int size)
    : m_data(static_cast<unsigned char*>(const_cast<void*>(data))), m_size(data && size > 0 ? size : 0),
      m_pieceSize(kPieceSize), m_owned(false), m_pos(0)
{
}

PHTTPBodyChunk::PHTTPBodyChunk(int size) : m_data(nullptr), m_size(0), m_pieceSize(kPieceSize), m_owned(true), m_pos(0)
{
    if (size < 0)
        return;
    m_data = static_cast<unsigned char*>(PAlloc(size));
    if (m_data)
        m_size = size;
}

PHTTPBodyChunk::~PHTTPBodyChunk()
{
    if (m_owned)
        PFree(m_data);
}

const unsigned char* PHTTPBodyChunk::Data(int& length)
{
    if (!m_data || m_pos >= m_size) {
        length = 0;
        return nullptr;
    }
    int n = m_size - m_pos;
    if (n > m_pieceSize)
        n = m_pieceSize;
    const unsigned char* p = m_data + m_pos;
    m_pos += n;
    length = n;
    return p;
}
