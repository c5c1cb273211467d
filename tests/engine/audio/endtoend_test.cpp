// A sound stored in a data.vfs archive, loaded through the file fall-backs,
// played by the output thread into the WAV sink, and measured by sox.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "audiotest.h"
#include "engine/audio/paudiosound.h"
#include "engine/audio/paudiowaveout.h"
#include "engine/runtime/pglobals.h"
#include "engine/runtime/pvfs.h"
#include "host/pcm.h"
#include "tools/lib/psndwriter.h"
#include "tools/lib/vfs_writer.h"

namespace {

std::string Shell(const std::string& cmd)
{
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p)
        return out;
    char buf[256];
    while (std::fgets(buf, sizeof buf, p))
        out += buf;
    pclose(p);
    return out;
}

// The number after `key` in sox's stat report, or NaN.
double StatValue(const std::string& report, const std::string& key)
{
    size_t at = report.find(key);
    if (at == std::string::npos)
        return NAN;
    at = report.find(':', at);
    return at == std::string::npos ? NAN : std::atof(report.c_str() + at + 1);
}

TEST(EndToEnd, ArchivedSoundPlaysIntoTheWavSinkAsSoxMeasuresIt)
{
    if (std::system("sox --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "sox is not installed";
    char tmpl[] = "/tmp/krv_e2e_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    // Nothing is found on disk: the archive is the only source.
    setenv("VORNAPP_SAVEPATH", (dir + "/save/").c_str(), 1);
    setenv("VORNAPPPATH", (dir + "/app/").c_str(), 1);

    // Half a second of a 1 kHz tone at 22050 Hz, stored as IMA ADPCM.
    const int rate = 22050;
    const size_t n = rate / 2;
    std::vector<int16_t> pcm(n);
    for (size_t i = 0; i < n; i++)
        pcm[i] = int16_t(std::lround(16000.0 * std::sin(2 * M_PI * 1000.0 * double(i) / rate)));
    std::vector<uint8_t> adpcm = AdpcmEncode(pcm.data(), n);
    PsndFields f;
    f.format = 4;
    f.rate = rate;
    f.samples = int64_t(n);
    VfsBuilder vfs(true);
    std::string err;
    ASSERT_TRUE(vfs.Add("data\\audio\\sfx\\tone.psn", PsndBuild(f, adpcm.data(), adpcm.size()), true, &err)) << err;
    const std::string archive = dir + "/data.vfs";
    ASSERT_TRUE(vfs.WriteFile(archive, &err)) << err;

    PVFS* pvfs = new PVFS(archive.c_str());
    ASSERT_TRUE(pvfs->IsOpen());
    PGlobals globals{};
    globals.archive = pvfs;
    PSetTls(&globals);

    const std::string wav = dir + "/out.wav";
    HostPcmSelect(HOST_PCM_WAV, wav.c_str(), 2000);
    {
        std::unique_ptr<PAudioSound> s(PAudioSound::Load("data\\audio\\sfx\\tone.psn"));
        ASSERT_TRUE(s);
        std::unique_ptr<PAudioPlayer> p(PAudioPlayer::Open(nullptr));
        ASSERT_TRUE(p);
        ASSERT_EQ(p->Play(s.get(), 0, 0), s.get());
        ASSERT_EQ(p->Start(), 0);
        audiotest::WaitDone(p.get(), s.get());
        p->Stop();
    }
    HostPcmSelect(HOST_PCM_NULL, nullptr, 0);
    PSetTls(nullptr);
    delete pvfs;

    EXPECT_EQ(Shell("soxi -r '" + wav + "'"), "44100\n");
    EXPECT_EQ(Shell("soxi -c '" + wav + "'"), "2\n");
    // The sound starts the stream; what follows it is silence, cut by sox.
    std::string stat = Shell("sox '" + wav + "' -n reverse silence 1 1 0.1% reverse stat 2>&1");
    double length = StatValue(stat, "Length (seconds)");
    double freq = StatValue(stat, "Rough   frequency");
    EXPECT_NEAR(length, 0.5, 0.002) << stat;
    EXPECT_NEAR(freq, 1000.0, 20.0) << stat;
    (void)!std::system(("rm -rf '" + dir + "'").c_str());
}

} // namespace
