#include "tools/lib/script_writer.h"

#include "tools/lib/toolfile.h"

namespace scriptbin {

namespace {

constexpr size_t kMaxString = 255;

bool PutString(std::vector<uint8_t>& out, std::string const& s, std::string* err)
{
    if (s.size() > kMaxString) {
        if (err)
            *err = "string of " + std::to_string(s.size()) + " bytes (at most 255): \"" + s.substr(0, 40) + "...\"";
        return false;
    }
    PutLE32(out, uint32_t(s.size()));
    out.insert(out.end(), s.begin(), s.end());
    return true;
}

bool PutBlock(std::vector<uint8_t>& out, Block const& b, std::string* err)
{
    if (!PutString(out, b.type, err) || !PutString(out, b.name, err))
        return false;
    PutLE32(out, uint32_t(b.lines.size()));
    for (Line const& l : b.lines) {
        PutLE32(out, uint32_t(l.index));
        if (!PutString(out, l.keyword, err))
            return false;
        PutLE32(out, uint32_t(l.values.size()));
        for (Value const& v : l.values) {
            switch (v.kind) {
            case Value::kString:
                if (!PutString(out, v.text, err))
                    return false;
                break;
            case Value::kInt:
                PutLE32(out, uint32_t(v.number));
                break;
            case Value::kByte:
                out.push_back(v.number ? 1 : 0);
                break;
            }
        }
        out.push_back(l.isArray ? 1 : 0);
        if (l.isArray) {
            PutLE32(out, uint32_t(l.elements.size()));
            for (Block const& e : l.elements) {
                if (!PutBlock(out, e, err))
                    return false;
            }
        }
    }
    return true;
}

} // namespace

bool Encode(std::vector<Block> const& blocks, std::vector<uint8_t>& out, std::string* err)
{
    for (Block const& b : blocks) {
        if (!PutBlock(out, b, err))
            return false;
    }
    return true;
}

bool Write(std::string const& path, std::vector<Block> const& blocks, std::string* err)
{
    std::vector<uint8_t> bytes;
    return Encode(blocks, bytes, err) && WriteFileAtomic(path, bytes, err);
}

} // namespace scriptbin
