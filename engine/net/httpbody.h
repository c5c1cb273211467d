// Request bodies. A body is not owned by the request that sends it.
#pragma once

class PHTTPBody {
public:
    virtual ~PHTTPBody() {}
    // The length in bytes; negative when unknown.
    virtual int Size() = 0;
    // The next piece and its length, or null when nothing is left.
    virtual const unsigned char* Data(int& length) = 0;
    // Starts the pieces over for sending the body again; 0 when it cannot.
    virtual int Rewind() { return 0; }
};

// One block, handed out whole every time.
class PHTTPBodyBlob : public PHTTPBody {
public:
    // Over caller memory (not owned).
    PHTTPBodyBlob(const void* data, int size);
    // Allocates size bytes for the caller to fill (owned); Buffer() is null
    // when that failed.
    explicit PHTTPBodyBlob(int size);
    virtual ~PHTTPBodyBlob();
    virtual int Size() override { return m_size; }
    virtual const unsigned char* Data(int& length) override;
    virtual int Rewind() override { return 1; }
    unsigned char* Buffer() { return m_data; }

private:
    unsigned char* m_data;
    int m_size;
    bool m_owned;
};

// A block handed out in pieces of at most 4096 bytes.
class PHTTPBodyChunk : public PHTTPBody {
public:
    static constexpr int kPieceSize = 4096;
    PHTTPBodyChunk(const void* data, int size);
    explicit PHTTPBodyChunk(int size);
    virtual ~PHTTPBodyChunk();
    virtual int Size() override { return m_size; }
    virtual const unsigned char* Data(int& length) override;
    unsigned char* Buffer() { return m_data; }
    virtual int Rewind() override
    {
        m_pos = 0;
        return 1;
    }

private:
    unsigned char* m_data;
    int m_size;
    int m_pieceSize;
    bool m_owned;
    int m_pos;
};
