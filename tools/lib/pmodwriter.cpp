#include "tools/lib/pmodwriter.h"

#include "tools/lib/plzp_writer.h"

namespace {

void Put16(std::vector<uint8_t>& v, uint32_t x)
{
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x)
{
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}

} // namespace

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
            Put16(body, p);
    }
    if (fixedRows == 0)
        for (const PmodPattern& p : s.patterns)
            Put16(body, uint32_t(p.rows));
    for (const PmodPattern& p : s.patterns)
        body.insert(body.end(), p.cells.begin(), p.cells.end());
    for (const auto& rec : s.samples)
        body.insert(body.end(), rec.begin(), rec.end());
    for (const PmodInstrument& in : s.instruments) {
        body.push_back(in.kept);
        body.push_back(uint8_t(in.map.size()));
        Put16(body, in.fadeout);
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
            Put16(body, uint32_t(e.sustain));
            Put16(body, uint32_t(e.loopStart));
            Put16(body, uint32_t(e.loopEnd));
            Put16(body, 0);
            for (const auto& pt : e.points) {
                Put16(body, pt.first);
                Put16(body, pt.second);
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
    Put32(f, 0); // file size, patched below
    Put32(f, hsize);
    Put32(f, s.flags);
    f.push_back(uint8_t(s.speed));
    f.push_back(uint8_t(s.tempo));
    Put16(f, uint32_t(s.orders.size()));
    Put16(f, uint32_t(s.restart));
    Put16(f, uint32_t(s.patterns.size()));
    Put16(f, uint32_t(fixedRows));
    Put16(f, uint32_t(s.channels));
    Put16(f, uint32_t(s.globalVolume));
    Put16(f, uint32_t(s.samples.size()));
    Put16(f, uint32_t(s.instruments.size()));
    Put32(f, s.lowPeriod);
    Put32(f, s.highPeriod);
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
