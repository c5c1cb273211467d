// PHTTP: the factory of HTTP requests and the owner of the table of header
// names. Header names map to small ids: 0-16 are the fixed names below, any
// other name gets 17 + its index in this object's table of extra names, stable
// for every request the object makes.
#pragma once
#include "engine/net/uri.h"

class PHTTPRequest;

enum PHTTPHeaderId {
    PHTTP_ACCEPT = 0,
    PHTTP_CONNECTION = 1,
    PHTTP_CONTENT_ENCODING = 2,
    PHTTP_CONTENT_LENGTH = 3,
    PHTTP_CONTENT_LOCATION = 4,
    PHTTP_CONTENT_RANGE = 5,
    PHTTP_CONTENT_TYPE = 6,
    PHTTP_DATE = 7,
    PHTTP_ETAG = 8,
    PHTTP_HOST = 9,
    PHTTP_LOCATION = 10,
    PHTTP_RANGE = 11,
    PHTTP_REFERER = 12,
    PHTTP_SERVER = 13,
    PHTTP_TRANSFER_ENCODING = 14,
    PHTTP_USER_AGENT = 15,
    PHTTP_CONTENT_LANGUAGE = 16,
    PHTTP_FIXED_HEADERS = 17,
};

class PHTTP {
public:
    // At most this many extra names are registered; a response naming more
    // has the surplus headers dropped.
    static constexpr int kMaxExtraNames = 64;

    PHTTP();
    ~PHTTP();
    PHTTP(const PHTTP&) = delete;
    PHTTP& operator=(const PHTTP&) = delete;

    // A request for that method (PHTTPRequest::RequestType) and address; null
    // when the address is not acceptable or memory runs out.
    PHTTPRequest* CreateRequest(int type, const char* url);
    PHTTPRequest* CreateRequest(int type, const PURI& uri);
    // An empty request (GET, no address).
    PHTTPRequest* CreateRequest();

    // The id of a name (case-insensitive), -1 when unknown.
    int HeaderType(const char* name) const { return HeaderType(name, -1); }
    int HeaderType(const char* name, int length) const;
    // As HeaderType, registering an unknown name; -1 when the table is full
    // or memory runs out.
    int AddHeader(const char* name) { return AddHeader(name, -1); }
    int AddHeader(const char* name, int length);
    // The name and its length for an id; null outside both tables.
    const char* HeaderString(int id, int& length) const;
    int ExtraNameCount() const { return m_count; }

private:
    struct Name {
        char* name;
        int length;
    };
    Name* m_names;
    int m_count;
};
