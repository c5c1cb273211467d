// imgtool nrv IN.png OUT.nrv [options]   PNG to NRV in pixel format 0-8
// imgtool decode IN OUT.png              the engine's decode as an RGBA PNG
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/graphics/ppalette.h"
#include "engine/graphics/psurface.h"
#include "engine/runtime/pstream.h"
#include "engine/runtime/pzstream.h"
#include "tools/lib/nrv_writer.h"
#include "tools/lib/toolfile.h"
#include "tools/lib/toolcli.h"

namespace {

// The usage on out: on standard output for --help (exit 0), else on
// standard error (exit 2).
int Usage(FILE* out = stderr)
{
    std::fprintf(out,
                 "usage: imgtool nrv IN.png OUT.nrv [--format 0-8] [--paeth] [--delta] [--pal3] [--key HEX]\n"
                 "                  [--grey] [--unpadded] [--alpha] [--extra N] [--plzp]\n"
                 "       imgtool decode IN.png|IN.nrv OUT.png\n");
    return out == stdout ? 0 : 2;
}

struct Rgba {
    unsigned w = 0, h = 0;
    std::vector<uint8_t> px; // R, G, B, A
    // Colour-mapped form: one index per pixel and up to 256 RGBA entries.
    std::vector<uint8_t> index;
    std::vector<uint8_t> map;
    unsigned mapEntries = 0;
    bool paletteSource = false;
    bool greySource = false;
};

bool ReadPng(const std::vector<uint8_t>& file, bool wantMap, Rgba* out, std::string* err)
{
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&img, file.data(), file.size())) {
        *err = img.message;
        return false;
    }
    // The sides come from the file: an image the engine could not hold even
    // as 8-bit pixels is refused before its decode is allocated.
    if (img.width > unsigned(kPSurfaceMaxSide) || img.height > unsigned(kPSurfaceMaxSide) ||
        PSurface::CheckedSize(int(img.width), int(img.height), int(img.width)) < 0) {
        *err = "image of " + std::to_string(img.width) + " x " + std::to_string(img.height) +
               " pixels is larger than the engine loads";
        png_image_free(&img);
        return false;
    }
    out->paletteSource = (img.format & PNG_FORMAT_FLAG_COLORMAP) != 0;
    out->greySource = !(img.format & PNG_FORMAT_FLAG_COLOR);
    out->w = img.width;
    out->h = img.height;
    if (wantMap) {
        img.format = PNG_FORMAT_RGBA_COLORMAP;
        out->index.assign(PNG_IMAGE_SIZE(img), 0);
        out->map.assign(PNG_IMAGE_COLORMAP_SIZE(img), 0);
        if (!png_image_finish_read(&img, nullptr, out->index.data(), 0, out->map.data())) {
            *err = img.message;
            png_image_free(&img);
            return false;
        }
        out->mapEntries = img.colormap_entries;
    } else {
        img.format = PNG_FORMAT_RGBA;
        out->px.assign(PNG_IMAGE_SIZE(img), 0);
        if (!png_image_finish_read(&img, nullptr, out->px.data(), 0, nullptr)) {
            *err = img.message;
            png_image_free(&img);
            return false;
        }
    }
    return true;
}

int CmdNrv(int argc, char** argv)
{
    if (argc < 4)
        return Usage();
    std::string in = argv[2], outPath = argv[3];
    int format = -1, flags = 0, extra = -1;
    bool plzp = false, hasKey = false;
    unsigned long key = 0;
    for (int i = 4; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--format" && i + 1 < argc)
            format = std::atoi(argv[++i]);
        else if (a == "--paeth")
            flags |= kNrvFlagPaeth;
        else if (a == "--delta")
            flags |= kNrvFlagDelta;
        else if (a == "--pal3")
            flags |= kNrvFlag3Byte;
        else if (a == "--grey")
            flags |= kNrvFlagGrey;
        else if (a == "--unpadded")
            flags |= kNrvFlagUnpadded;
        else if (a == "--alpha")
            flags |= kNrvFlagAlpha;
        else if (a == "--plzp")
            plzp = true;
        else if (a == "--key" && i + 1 < argc) {
            key = std::strtoul(argv[++i], nullptr, 16);
            hasKey = true;
        } else if (a == "--extra" && i + 1 < argc)
            extra = std::atoi(argv[++i]);
        else
            return Usage();
    }
    std::vector<uint8_t> file;
    std::string err;
    if (!ReadFileBytes(in, &file, &err)) {
        std::fprintf(stderr, "imgtool: %s\n", err.c_str());
        return 1;
    }
    Rgba rgba, mapped;
    if (!ReadPng(file, false, &rgba, &err)) {
        std::fprintf(stderr, "imgtool: %s: %s\n", in.c_str(), err.c_str());
        return 1;
    }
    if (format < 0)
        format = rgba.paletteSource || rgba.greySource ? 3 : 8;
    if (format > 8) {
        std::fprintf(stderr, "imgtool: pixel format must be 0..8\n");
        return 1;
    }
    NrvImage img;
    img.format = format;
    img.width = int(rgba.w);
    img.height = int(rgba.h);
    const size_t n = size_t(rgba.w) * rgba.h;
    if (format <= 3) {
        if (flags & kNrvFlagGrey) {
            // Indices are grey levels reduced to the format's depth.
            const int depth = format == 0 ? 1 : format == 1 ? 2 : format == 2 ? 4 : 8;
            for (size_t i = 0; i < n; i++)
                img.pixels.push_back(uint8_t(rgba.px[i * 4 + 1] >> (8 - depth)));
        } else {
            if (!ReadPng(file, true, &mapped, &err)) {
                std::fprintf(stderr, "imgtool: %s: %s\n", in.c_str(), err.c_str());
                return 1;
            }
            img.pixels = mapped.index;
            for (unsigned e = 0; e < mapped.mapEntries; e++) {
                const uint8_t* m = &mapped.map[e * 4];
                img.palette.push_back(uint32_t(m[3]) << 24 | uint32_t(m[0]) << 16 | uint32_t(m[1]) << 8 | m[2]);
            }
        }
    } else {
        for (size_t i = 0; i < n; i++) {
            const uint8_t* p = &rgba.px[i * 4];
            unsigned r = p[0], g = p[1], b = p[2], a = p[3], v = 0;
            switch (format) {
            case 4:
                v = (r >> 4) << 8 | (g >> 4) << 4 | b >> 4;
                break;
            case 5:
                v = (r >> 3) << 10 | (g >> 3) << 5 | b >> 3;
                break;
            case 6:
                v = PRGB2Native(int(r), int(g), int(b));
                break;
            }
            if (format <= 6) {
                img.pixels.push_back(uint8_t(v));
                img.pixels.push_back(uint8_t(v >> 8));
            } else {
                img.pixels.insert(img.pixels.end(), {uint8_t(b), uint8_t(g), uint8_t(r)});
                if (format == 8)
                    img.pixels.push_back(uint8_t(a));
            }
        }
    }
    if (flags & kNrvFlagAlpha)
        for (size_t i = 0; i < n; i++)
            img.alpha.push_back(rgba.px[i * 4 + 3]);
    if (hasKey) {
        flags |= kNrvFlagKey;
        img.key = uint32_t(key);
    }
    if (extra >= 0) {
        flags |= kNrvFlagExtra;
        img.extra.assign(size_t(extra), 0);
    }
    if (!NrvWriteFile(outPath, img, flags, plzp, &err)) {
        std::fprintf(stderr, "imgtool: %s: %s\n", outPath.c_str(), err.c_str());
        return 1;
    }
    return 0;
}

int CmdDecode(int argc, char** argv)
{
    if (argc != 4)
        return Usage();
    std::vector<uint8_t> file;
    std::string err;
    if (!ReadFileBytes(argv[2], &file, &err)) {
        std::fprintf(stderr, "imgtool: %s\n", err.c_str());
        return 1;
    }
    // A "PLZP"-compressed file is read through the compressed stream.
    PStream* s = PZStream::Open(file.data(), long(file.size()), 1);
    PSurface* surf = s ? PSurface::CreateFromImage(*s, 0, PIMAGE_DETECT) : nullptr;
    delete s;
    if (!surf) {
        std::fprintf(stderr, "imgtool: the engine cannot decode %s\n", argv[2]);
        return 1;
    }
    const int w = surf->width, h = surf->height;
    std::vector<uint8_t> rgba(size_t(w) * size_t(h) * 4);
    const unsigned key = surf->colorKey & 0xFFFFFF;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const uint8_t* p = surf->pixels + size_t(y) * size_t(surf->pitch);
            unsigned argb = 0;
            bool ownAlpha = false;
            switch (surf->format) {
            case PSURFACE_RGB565:
                argb = 0xFF000000u | PNative2RGB(unsigned(p[x * 2] | p[x * 2 + 1] << 8));
                break;
            case PSURFACE_INDEX8:
                argb = surf->palette ? surf->palette->Get(p[x]) : 0xFF000000u | p[x] * 0x010101u;
                ownAlpha = surf->palette && surf->palette->alphas;
                break;
            case PSURFACE_RGB24:
                argb = 0xFF000000u | unsigned(p[x * 3] << 16 | p[x * 3 + 1] << 8 | p[x * 3 + 2]);
                break;
            default:
                argb = unsigned(p[x * 4 + 3]) << 24 | unsigned(p[x * 4] << 16 | p[x * 4 + 1] << 8 | p[x * 4 + 2]);
                ownAlpha = true;
                break;
            }
            unsigned a = argb >> 24;
            if (surf->alpha)
                a = surf->alpha[size_t(y) * size_t(w) + size_t(x)];
            else if (!ownAlpha && (argb & 0xFFFFFF) == key)
                a = 0;
            uint8_t* o = &rgba[(size_t(y) * size_t(w) + size_t(x)) * 4];
            o[0] = uint8_t(argb >> 16);
            o[1] = uint8_t(argb >> 8);
            o[2] = uint8_t(argb);
            o[3] = uint8_t(a);
        }
    delete surf;
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    img.width = png_uint_32(w);
    img.height = png_uint_32(h);
    img.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&img, nullptr, &size, 0, rgba.data(), 0, nullptr)) {
        std::fprintf(stderr, "imgtool: %s\n", img.message);
        return 1;
    }
    std::vector<uint8_t> out(size);
    if (!png_image_write_to_memory(&img, out.data(), &size, 0, rgba.data(), 0, nullptr)) {
        std::fprintf(stderr, "imgtool: %s\n", img.message);
        return 1;
    }
    out.resize(size);
    if (!WriteFileAtomic(argv[3], out, &err)) {
        std::fprintf(stderr, "imgtool: %s\n", err.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (ToolHelpAsked(argc, argv))
        return Usage(stdout);
    if (argc < 2)
        return Usage();
    std::string cmd = argv[1];
    if (cmd == "nrv")
        return CmdNrv(argc, argv);
    if (cmd == "decode")
        return CmdDecode(argc, argv);
    return Usage();
}
