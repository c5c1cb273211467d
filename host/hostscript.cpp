#include "host/hostscript.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/runtime/pdebug.h"

namespace host {

namespace {

constexpr int kMaxWords = 6;

bool ToInt(char const* s, long lo, long hi, int* out)
{
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(s, &end, 10);
    if (errno || end == s || *end || v < lo || v > hi)
        return false;
    *out = int(v);
    return true;
}

bool ToForce(char const* s, double* out)
{
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(s, &end);
    if (end == s || *end || !std::isfinite(v))
        return false;
    *out = v;
    return true;
}

bool ToTime(char const* s, ScriptItem* item)
{
    size_t n = std::strlen(s);
    if (n > 2 && !std::strcmp(s + n - 2, "ms")) {
        char digits[16];
        if (n - 2 >= sizeof digits)
            return false;
        std::memcpy(digits, s, n - 2);
        digits[n - 2] = 0;
        int v = 0;
        if (!ToInt(digits, 0, 0x7FFFFFFF, &v))
            return false;
        item->unit = ScriptItem::MILLISECONDS;
        item->at = unsigned(v);
        return true;
    }
    int v = 0;
    if (!ToInt(s, 0, 0x7FFFFFFF, &v))
        return false;
    item->unit = ScriptItem::FRAMES;
    item->at = unsigned(v);
    return true;
}

// One line split into words; the words point into buf.
int Split(char* buf, char** words)
{
    int n = 0;
    char* p = buf;
    while (*p) {
        while (*p == ' ' || *p == '\t')
            ++p;
        if (!*p)
            break;
        if (n == kMaxWords)
            return -1;
        words[n++] = p;
        while (*p && *p != ' ' && *p != '\t')
            ++p;
        if (*p)
            *p++ = 0;
    }
    return n;
}

// Parses the words after the time; returns an error text or null.
char const* ParseCommand(char** w, int n, ScriptItem* item)
{
    char const* cmd = w[0];
    Event& ev = item->event;
    auto args = [&](int count) { return n - 1 == count; };
    if (!std::strcmp(cmd, "down") || !std::strcmp(cmd, "move") || !std::strcmp(cmd, "up")) {
        if (!args(3))
            return "a touch takes an id and a position x y";
        ev.domain = DOMAIN_SCREEN;
        ev.code = cmd[0] == 'd' ? SCREEN_TOUCH : cmd[0] == 'm' ? SCREEN_MOVE : SCREEN_RELEASE;
        if (!ToInt(w[1], 0, kScriptMaxTouchId, &ev.touchId))
            return "bad touch id (0-32767)";
        if (!ToInt(w[2], -kScriptMaxCoord, kScriptMaxCoord, &ev.x) ||
            !ToInt(w[3], -kScriptMaxCoord, kScriptMaxCoord, &ev.y))
            return "bad position";
        return nullptr;
    }
    if (!std::strcmp(cmd, "focus")) {
        int on = 0;
        if (!args(1) || !ToInt(w[1], 0, 1, &on))
            return "focus takes 1 (active) or 0 (inactive)";
        ev.domain = DOMAIN_NAVIGATOR;
        ev.code = on ? NAV_WINDOW_ACTIVE : NAV_WINDOW_INACTIVE;
        return nullptr;
    }
    if (!std::strcmp(cmd, "window-state")) {
        if (!args(1) || !ToInt(w[1], 0, 255, &ev.windowState))
            return "window-state takes a state number";
        ev.domain = DOMAIN_NAVIGATOR;
        ev.code = NAV_WINDOW_STATE;
        return nullptr;
    }
    if (!std::strcmp(cmd, "exit")) {
        if (!args(0))
            return "exit takes nothing";
        ev.domain = DOMAIN_NAVIGATOR;
        ev.code = NAV_EXIT;
        return nullptr;
    }
    if (!std::strcmp(cmd, "orientation")) {
        if (!args(1) || !ToInt(w[1], 0, 255, &ev.direction))
            return "orientation takes a direction number";
        ev.domain = DOMAIN_ORIENTATION;
        return nullptr;
    }
    if (!std::strcmp(cmd, "orientation-check") || !std::strcmp(cmd, "orientation-done")) {
        if (!args(1) || !ToInt(w[1], 0, 359, &ev.angle))
            return "an orientation check or done takes an angle 0-359";
        ev.domain = cmd[12] == 'c' ? DOMAIN_ORIENTATION_CHECK : DOMAIN_ORIENTATION_DONE;
        return nullptr;
    }
    if (!std::strcmp(cmd, "accel")) {
        if (!args(3) || !ToForce(w[1], &item->ax) || !ToForce(w[2], &item->ay) || !ToForce(w[3], &item->az))
            return "accel takes three finite forces in g";
        item->kind = ScriptItem::ACCEL;
        return nullptr;
    }
    if (!std::strcmp(cmd, "accel-fail")) {
        if (!args(0))
            return "accel-fail takes nothing";
        item->kind = ScriptItem::ACCEL_FAIL;
        return nullptr;
    }
    return "unknown command";
}

} // namespace

int ParseScript(char const* text, size_t len, std::vector<ScriptItem>* items)
{
    items->clear();
    if (!text && len)
        return 0;
    if (len > kScriptMaxBytes) {
        _PDebug("events: script of %zu bytes is larger than %zu\n", len, kScriptMaxBytes);
        return 0;
    }
    size_t pos = 0;
    int lineNo = 0;
    char buf[kScriptMaxLine + 1];
    while (pos < len) {
        ++lineNo;
        size_t end = pos;
        while (end < len && text[end] != '\n')
            ++end;
        size_t n = end - pos;
        if (n && text[end - 1] == '\r')
            --n;
        if (n > size_t(kScriptMaxLine)) {
            _PDebug("events: line %d: longer than %d bytes\n", lineNo, kScriptMaxLine);
            return 0;
        }
        std::memcpy(buf, text + pos, n);
        buf[n] = 0;
        pos = end + 1;
        if (std::memchr(buf, 0, n)) {
            _PDebug("events: line %d: contains a zero byte\n", lineNo);
            return 0;
        }
        if (char* hash = std::strchr(buf, '#'))
            *hash = 0;
        char* words[kMaxWords];
        int count = Split(buf, words);
        if (count == 0)
            continue;
        if (count < 0) {
            _PDebug("events: line %d: too many words\n", lineNo);
            return 0;
        }
        ScriptItem item;
        item.line = lineNo;
        if (!ToTime(words[0], &item)) {
            _PDebug("events: line %d: bad time \"%s\" (frames, or milliseconds with ms)\n", lineNo, words[0]);
            return 0;
        }
        if (count < 2) {
            _PDebug("events: line %d: a time without a command\n", lineNo);
            return 0;
        }
        if (char const* error = ParseCommand(words + 1, count - 1, &item)) {
            _PDebug("events: line %d: %s\n", lineNo, error);
            return 0;
        }
        items->push_back(item);
    }
    return 1;
}

int LoadScript(char const* path, std::vector<ScriptItem>* items)
{
    items->clear();
    FILE* f = std::fopen(path, "rb");
    if (!f) {
        _PDebug("events: cannot open script \"%s\"\n", path);
        return 0;
    }
    std::string text;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        if (text.size() + got > kScriptMaxBytes) {
            std::fclose(f);
            _PDebug("events: script \"%s\" is larger than %zu bytes\n", path, kScriptMaxBytes);
            return 0;
        }
        text.append(chunk, got);
    }
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        _PDebug("events: cannot read script \"%s\"\n", path);
        return 0;
    }
    return ParseScript(text.data(), text.size(), items);
}

} // namespace host
