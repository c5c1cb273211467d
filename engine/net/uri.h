// PURI: an address of the form [scheme://]host[:port][path], parsed and
// printed. The strings are owned heap copies.
#pragma once

class PURI {
public:
    PURI();
    explicit PURI(const char* text);
    PURI(const PURI& other);
    ~PURI();
    PURI& operator=(const PURI& other);
    PURI& operator=(const char* text);

    // Parses text; 1 on success, 0 on failure (the fields parsed so far stay,
    // the port is 0).
    int Set(const char* text);
    // Host and path set, port not negative.
    bool IsValid() const { return m_host && m_path && m_port >= 0; }
    // A new heap string (free it with PFree): [scheme "://"] host [":" port]
    // path (or "/"); null without memory or host.
    char* ToString() const;

    const char* Host() const { return m_host; }
    const char* Scheme() const { return m_scheme; }
    const char* Path() const { return m_path; }
    // 0 when the text gave none.
    int Port() const { return m_port; }

private:
    void Free();
    char* m_host;
    char* m_scheme;
    char* m_path;
    int m_port;
};

// A heap copy of n characters of s plus a terminating zero (PAlloc); null
// without memory.
char* PNetStrDup(const char* s, int n);
