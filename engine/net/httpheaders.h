// PHTTPHeaders: one list of header lines (request or response), kept in
// insertion order; several lines may share an id. Ids are interpreted by the
// PHTTP object's name table.
#pragma once
#include <cstdint>

class PHTTP;

class PHTTPHeaders {
public:
    struct Entry {
        uint16_t id;
        uint16_t length;
        char* value; // zero-terminated, owned
    };

    // Values are at most this long (the length field is 16-bit).
    static constexpr int kMaxValue = 0xFFFF;

    explicit PHTTPHeaders(PHTTP& http);
    ~PHTTPHeaders();
    PHTTPHeaders(const PHTTPHeaders&) = delete;
    PHTTPHeaders& operator=(const PHTTPHeaders&) = delete;

    const Entry* GetHeader(int id) const;
    const Entry* GetHeader(const char* name) const;
    const Entry* GetHeaderByIndex(int i) const;
    int Count() const { return m_count; }

    // Appends; the new index, -1 on failure (unknown id, value too long, no
    // memory).
    int Add(int id, const char* value) { return Add(id, value, -1); }
    int Add(int id, const char* value, int length);
    int Add(int id, int value);
    int Add(const char* name, const char* value);
    int Add(const char* name, int value);
    // Replaces the first entry with that id, else appends; the index or -1.
    int Set(int id, const char* value);
    int Set(int id, int value);
    int Set(const char* name, const char* value);
    int Set(const char* name, int value);
    int SetByIndex(int i, const char* value) { return SetByIndex(i, value, -1); }
    int SetByIndex(int i, const char* value, int length);
    // Appends text to the value at index i; -1 when i is out of range, the
    // value would exceed maxLength or memory runs out.
    int AppendByIndex(int i, const char* text, int length, int maxLength);
    void Delete(int id);
    void Delete(const char* name);
    void Clear();

    PHTTP& Http() const { return m_http; }

private:
    PHTTP& m_http;
    int m_count;
    Entry* m_entries;
};
