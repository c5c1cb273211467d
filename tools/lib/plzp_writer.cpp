#include "tools/lib/plzp_writer.h"

#include <cstring>
#include <zlib.h>

#include "engine/runtime/pstream.h"

bool PlzpCompress(void const* data, size_t size, int level, PlzpForm form, std::vector<uint8_t>* out)
{
    out->clear();
    if (level < 0 || level > 9 || size > 0x7FFFFFFFu)
        return false;
    z_stream z;
    std::memset(&z, 0, sizeof z);
    int bits = form == PlzpForm::Raw ? -MAX_WBITS : MAX_WBITS;
    if (deflateInit2(&z, level, Z_DEFLATED, bits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    size_t head = form == PlzpForm::Header ? 12 : 0;
    out->resize(head + deflateBound(&z, uLong(size)));
    z.next_in = static_cast<Bytef*>(const_cast<void*>(data));
    z.avail_in = uInt(size);
    z.next_out = out->data() + head;
    z.avail_out = uInt(out->size() - head);
    int r = deflate(&z, Z_FINISH);
    size_t produced = z.total_out;
    deflateEnd(&z);
    if (r != Z_STREAM_END || produced > 0x7FFFFFFFu)
        return false;
    out->resize(head + produced);
    if (head) {
        uint8_t* h = out->data();
        std::memcpy(h, "PLZP", 4);
        PStore32(h + 4, uint32_t(size));
        PStore32(h + 8, uint32_t(produced));
    }
    return true;
}
