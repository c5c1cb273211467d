#include "tools/lib/pmodwriter.h"

#include "tools/lib/plzp_writer.h"
#include "tools/lib/toolfile.h"

bool PmodBuild(const PmodSong& s, std::vector<uint8_t>* out, std::string* err)
{
    auto fail = [&](const char* why) {
        if (err)
            *err = why;
        return false;
    };
    if (s.orders.empty() || s.orders.size() > 65535)
        return fail("a song needs 1-65535 orders");
    if (s.patterns.empty() || s.samples.empty())
        return fail("a song needs patterns and samples");
    int fixedRows = s.patterns[0].rows;
    for (const PmodPattern& p : s.patterns) {
        if (p.cells.size() != size_t(p.rows) * size_t(s.channels) * 5)
            return fail("pattern cells do not match rows x channels x 5");
        if (p.rows != fixedRows)
            fixedRows = 0;
    }
    if (s.perPatternRows)
        fixedRows = 0;

    std::vector<uint8_t> body(s.orders.begin(), s.orders.end());
    if (s.flags & 4) {
        if (s.panning.size() != size_t(s.channels))
            return fail("the panning table needs one value per channel");
        for (uint16_t p : s.panning)
            PutLE16(body, p);
    }
    if (fixedRows == 0)
        for (const PmodPattern& p : s.patterns)
            PutLE16(body, uint32_t(p.rows));
    for (const PmodPattern& p : s.patterns)
        body.insert(body.end(), p.cells.begin(), p.cells.end());
    for (const auto& rec : s.samples)
        body.insert(body.end(), rec.begin(), rec.end());
    for (const PmodInstrument& in : s.instruments) {
        body.push_back(in.kept);
        body.push_back(uint8_t(in.map.size()));
        PutLE16(body, in.fadeout);
        body.push_back(in.vibType);
        body.push_back(in.vibSweep);
        body.push_back(in.vibDepth);
        body.push_back(in.vibRate);
        body.push_back(uint8_t(in.envelopes.size()));
        body.push_back(0);
        body.push_back(0);
        body.insert(body.end(), in.map.begin(), in.map.end());
        for (const PmodEnvelope& e : in.envelopes) {
            body.push_back(uint8_t(e.type));
            body.push_back(uint8_t(e.flags));
            body.push_back(uint8_t(e.points.size()));
            body.push_back(0);
            PutLE16(body, uint32_t(e.sustain));
            PutLE16(body, uint32_t(e.loopStart));
            PutLE16(body, uint32_t(e.loopEnd));
            PutLE16(body, 0);
            for (const auto& pt : e.points) {
                PutLE16(body, pt.first);
                PutLE16(body, pt.second);
            }
        }
    }
    std::vector<uint8_t> packed;
    if (!PlzpCompress(body.data(), body.size(), 9, PlzpForm::Header, &packed))
        return fail("compression failed");

    std::vector<uint8_t>& f = *out;
    f.clear();
    for (char c : {'P', 'M', 'O', 'D'})
        f.push_back(uint8_t(c));
    const uint32_t hsize = 30 + uint32_t(s.extraHeaderBytes);
    PutLE32(f, 0); // file size, patched below
    PutLE32(f, hsize);
    PutLE32(f, s.flags);
    f.push_back(uint8_t(s.speed));
    f.push_back(uint8_t(s.tempo));
    PutLE16(f, uint32_t(s.orders.size()));
    PutLE16(f, uint32_t(s.restart));
    PutLE16(f, uint32_t(s.patterns.size()));
    PutLE16(f, uint32_t(fixedRows));
    PutLE16(f, uint32_t(s.channels));
    PutLE16(f, uint32_t(s.globalVolume));
    PutLE16(f, uint32_t(s.samples.size()));
    PutLE16(f, uint32_t(s.instruments.size()));
    PutLE32(f, s.lowPeriod);
    PutLE32(f, s.highPeriod);
    f.insert(f.end(), size_t(s.extraHeaderBytes), 0);
    f.insert(f.end(), packed.begin(), packed.end());
    if (f.size() < 500)
        f.resize(500, 0);
    const uint32_t size = uint32_t(f.size());
    f[4] = uint8_t(size);
    f[5] = uint8_t(size >> 8);
    f[6] = uint8_t(size >> 16);
    f[7] = uint8_t(size >> 24);
    return true;
}
