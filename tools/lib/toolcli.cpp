#include "tools/lib/toolcli.h"

#include <cstdio>
#include <cstring>

bool ToolHelpAsked(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h"))
            return true;
    return false;
}

namespace {

// Appends byte c to out, escaped when it is not printable ASCII (and, with
// quote, when it is a double quote or a backslash).
void Put(std::string& out, unsigned char c, bool quote)
{
    if (quote && (c == '\\' || c == '"')) {
        out += '\\';
        out += char(c);
    } else if (c == '\t') {
        out += "\\t";
    } else if (c < 0x20 || c >= 0x7F) {
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        out += hex;
    } else {
        out += char(c);
    }
}

// At most about max characters of escaped text; *cut tells whether the text
// did not fit.
std::string Escape(std::string_view text, size_t max, bool quote, bool* cut)
{
    std::string out;
    size_t i = 0;
    for (; i < text.size() && out.size() < max; ++i)
        Put(out, static_cast<unsigned char>(text[i]), quote);
    *cut = i < text.size();
    return out;
}

} // namespace

std::string Printable(std::string_view text, size_t max)
{
    bool cut = false;
    std::string out = Escape(text, max, false, &cut);
    return cut ? out + "..." : out;
}

std::string QuoteLine(std::string_view line, size_t max)
{
    bool cut = false;
    std::string body = Escape(line, max, true, &cut);
    return "\"" + body + "\"" + (cut ? "..." : "");
}
