// Fuzz target: the .fnt loader over arbitrary bytes, with each renderer's
// load flags, plain and through the compressed stream; a font that loads is measured and printed (8-bit, UTF-8 and
// wide text) into a small drawable, partly outside its clip rectangle.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/graphics/psurface.h"
#include "engine/graphics/punicodefont.h"
#include "engine/runtime/pstream.h"
#include "engine/runtime/pzstream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> buf(data, data + size);
    static std::unique_ptr<PDrawableSurface> target(PDrawableSurface::Create(40, 24));
    target->SetClipRect(2, 1, 37, 20);
    static const char text[] = "Az 09 \xC3\xA9\xE2\x82\xAC~\x7F\xFF";
    static const wchar_t wide[] = {0x41, 0x7A, 0xE9, 0x20AC, 0xFFFF, 0x10000, 0};
    for (int mode : {0, 1, 2}) {
        PUnicodeFont f;
        f.mode = mode;
        PMemStream s(buf.data(), long(buf.size()));
        if (!f.Load(s))
            continue;
        f.target = target.get();
        f.args.color = 0x80FFFFFFu;
        for (int utf8 : {0, 1}) {
            f.utf8 = utf8;
            f.StringWidth(text, nullptr, -1);
            f.Print(text, -5, -3, -1);
            f.Print(text, 20, 10, 4);
        }
        f.StringWidth(wide, nullptr, -1);
        f.Print(wide, 1, 2, -1);
        for (uint32_t c = 0; c < 0x10000; c += 97)
            f.FindChar(wchar_t(c));
    }
    // The same bytes as a file that may be compressed behind a "PLZP" header.
    if (PStream* z = PZStream::Open(buf.data(), long(buf.size()), 1)) {
        PUnicodeFont f;
        if (f.Load(*z))
            f.StringWidth(text, nullptr, -1);
        delete z;
    }
    return 0;
}
