// The multiplayer menus driven by scripted touches on the in-memory network:
// each player is one KrvMp on the shared virtual clock, its texts "#<id>"
// so that a test reads which text a box or label shows.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/graphics/psurface3d.h"
#include "engine/runtime/pglobals.h"
#include "engine/runtime/pvfs.h"
#include "game/frontend/fonts.h"
#include "game/frontend/profile.h"
#include "game/frontend/settings.h"
#include "game/multiplayer/krvmp.h"
#include "tests/engine/graphics/p3d_fixtures.h"
#include "tests/game/frontend/frontend_fixture.h"
#include "tests/game/multiplayer/matchrig.h"
#include "tools/glreplay/pngio.h"

namespace menutest {

constexpr int W = 1024, H = 600;

// A back end of the internet kind: lobby servers, then the same rooms as
// the local network.
class Lobby : public rig::Member {
public:
    using Member::Member;
    static inline bool nameTaken = false;
    static inline std::string joinedAddress;

    int RequestLobbys(int) override { return Post(EventList::kServerListReady), 1; }
    int GetLobbyCount() override { return 2; }
    LobbyInfo* GetLobby(int i) override
    {
        if (i < 0 || i > 1)
            return nullptr;
        info = LobbyInfo {};
        snprintf(info.name, sizeof info.name, "%s", i ? "BRAVO" : "ALPHA");
        info.playersInGame = 3 + i;
        snprintf(info.address, sizeof info.address, "10.1.0.%d", i + 1);
        info.port = 4000 + i;
        return &info;
    }
    int ConnectToLobby(int i) override
    {
        return i >= 0 && i < 2 ? (Post(nameTaken ? EventList::kNameTaken : EventList::kConnected), 1) : 0;
    }
    int ConnectToLobby(const char* address, int port) override
    {
        joinedAddress = std::string(address) + ":" + std::to_string(port);
        Post(EventList::kConnected);
        return 1;
    }
    void GetJoinedLobbyName(char* buffer, int capacity) override
    {
        snprintf(buffer, size_t(capacity), "ALPHA");
    }
    EventList::event PollMessages() override
    {
        // Between lobby and rooms the link stays quiet instead of lost.
        return !inRoom && !listing ? events.Get() : Member::PollMessages();
    }
    LobbyInfo info {};
};

// A back end whose device knows only the loop-back address.
class Loopback : public rig::Member {
public:
    using Member::Member;
    int GetDeviceInfo(DeviceInfo& info) override
    {
        info.ip = 0x0100007F;
        info.port = 1024;
        return 1;
    }
};

enum class Net { Normal, None, Loopback };
inline Net& NetMode()
{
    static Net m = Net::Normal;
    return m;
}
inline MPInterface* Make(Multiplayer::nettype kind)
{
    rig::Hub* hub = rig::Hub::Current();
    if (!hub || NetMode() == Net::None)
        return nullptr;
    if (NetMode() == Net::Loopback)
        return new Loopback(hub);
    if (kind == Multiplayer::kNetInternet)
        return new Lobby(hub);
    return new rig::Member(hub);
}

struct Player {
    KrvMp k;
    Profile profile;
    unsigned keys = 0;
    std::vector<int> results;
    bool playing = false; // the menus answered 1: the match runs instead
};

class Menus : public ::testing::Test {
public:
    void SetUp() override { Prepare(nullptr); }
    // With an archive: its fonts, texts, aircraft and art (the shared
    // images through the globals block); else the test face and "#<id>".
    void Prepare(const char* archive)
    {
        ASSERT_TRUE(mesa.Ok());
        dir.Write("usr/keep", std::vector<uint8_t> {0});
        if (archive) {
            ASSERT_TRUE(vfs.OpenVFS(archive));
            globals.archive = &vfs;
            oldTls = PGetTls();
            PSetTls(&globals);
            for (int i : {5, 7})
                globals.sharedImages[i] = PSurface3D::CreateFromFile(mesa.ctx,
                    i == 5 ? "data\\2dgfx\\soft_label_back_paper.png" : "data\\2dgfx\\warroom.png", 1);
        } else {
            dir.WriteFonts();
            LangLanguage l {u"English", std::vector<std::u16string>(410)};
            for (size_t i = 0; i < l.strings.size(); i++) {
                std::string s = "#" + std::to_string(i);
                l.strings[i] = std::u16string(s.begin(), s.end());
            }
            dir.Write("data/lang0.bin", fronttest::Encode({l}));
        }
        PDisplayProperties props {};
        mesa.display->GetInfo(props);
        ASSERT_TRUE(fonts.Init(mesa.ctx, &props) && fonts.LoadLanguage(0));
        NetMode() = Net::Normal;
        Lobby::nameTaken = false;
        Multiplayer::SetBackEnds({&Make, &rig::Hub::AddressAvailable});
    }
    void TearDown() override
    {
        players.clear();
        for (int i : {5, 7})
            delete static_cast<PSurface3D*>(globals.sharedImages[i]);
        if (globals.archive && PGetTls() == &globals)
            PSetTls(oldTls);
    }

    Player& Add(const char* nick, uint32_t score = 0)
    {
        players.push_back(std::make_unique<Player>());
        Player& p = *players.back();
        p.profile.SetNick(nick);
        p.profile.SetMode(Profile::kMultiplayer);
        p.profile.SetScore(score);
        p.k.settings = &settings;
        p.k.p3d = mesa.ctx;
        p.k.fonts = &fonts;
        p.k.keys = &p.keys;
        p.k.Init(W, H, &p.profile, nullptr, nullptr);
        return p;
    }

    // One 25 ms frame of every player.
    void Step()
    {
        hub.now += 25;
        for (auto& p : players) {
            if (p->playing)
                continue;
            const int r = p->k.Update(hub.now);
            if (r)
                p->results.push_back(r);
            p->playing = r == 1;
            // The frame ends with the box drawn over the screen, as the
            // menus' Render draws it (a box takes taps once it was drawn);
            // the screens themselves are drawn only for the kept frames.
            if (p->k.msgBox && p->k.p3d)
                p->k.msgBox->Render(p->k.p3d);
        }
    }
    void Run(int ms)
    {
        for (int t = 0; t < ms; t += 25)
            Step();
    }
    // Steps until pred holds; whether it did within limit ms.
    template <class F> bool Until(F pred, int limit = 3000)
    {
        for (int t = 0; t < limit; t += 25) {
            if (pred())
                return true;
            Step();
        }
        return pred();
    }
    void Tap(Player& p, int x, int y)
    {
        p.k.TouchScreenEvent(x, y, 1);
        Step();
        p.k.TouchScreenEvent(x, y, 0);
        Step();
    }
    void Tap(Player& p, const KrvMpButton* b)
    {
        ASSERT_TRUE(b);
        Tap(p, b->m_rect.x + b->m_rect.width / 2, b->m_rect.y + b->m_rect.height / 2);
    }
    // Taps button i of screen s for each {s, i} in turn.
    void Taps(Player& p, std::initializer_list<std::pair<int, int>> seq)
    {
        for (auto [screen, i] : seq)
            Tap(p, Button(p, screen, i));
    }
    void TapLine(Player& p, int screen, int line)
    {
        const KrvMpList* l = p.k.menus[screen].list;
        ASSERT_TRUE(l && line < l->GetCount());
        Tap(p, l->GetLine(line));
    }
    void Back(Player& p)
    {
        p.keys = KrvMp::kBackKey;
        Step();
        p.keys = 0;
    }
    KrvMpButton* Button(Player& p, int screen, int i) { return p.k.menus[screen].buttons[i]; }
    // The lines of the message box, "" when it is hidden.
    static std::wstring Box(const KrvMp& k)
    {
        std::wstring s;
        if (!k.msgBox || !k.msgBox->IsVisible() || !k.msgBox->m_content)
            return s;
        for (int i = 0; i < k.msgBox->m_content->GetCount(); i++)
            s += std::wstring(i ? L"|" : L"") + k.msgBox->m_content->GetLine(i)->m_caption.GetText();
        return s;
    }
    // Chooses a button of the visible box by value.
    void Answer(Player& p, int value)
    {
        for (auto& [b, v] : p.k.msgBox->m_buttons)
            if (v == value)
                return Tap(p, b);
        FAIL() << "no button " << value;
    }
    static std::wstring Text(const KrvMpLabel* l) { return l ? l->GetText() : L"(none)"; }
    // Draws p's menus and keeps the frame as a PNG file at path; its pixels.
    std::vector<uint8_t> KeepFrame(Player& p, const std::string& path)
    {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        p.k.Render(hub.now);
        glreplay::Image img {W, H, mesa.Read()};
        for (size_t i = 3; i < img.rgba.size(); i += 4)
            img.rgba[i] = 255; // blending leaves the alpha channel partly clear
        std::string err;
        EXPECT_TRUE(glreplay::WritePng(path, img, err)) << err;
        return img.rgba;
    }
    // Host room from screen 1 on the local network.
    void HostLocal(Player& p)
    {
        Taps(p, {{1, 0}, {2, 0}});
        ASSERT_TRUE(Until([&] { return p.k.GetState() == KrvMp::MENU_GAME_ROOM; }));
    }
    void JoinLocal(Player& p)
    {
        Taps(p, {{1, 0}, {2, 1}});
        ASSERT_EQ(p.k.GetState(), KrvMp::MENU_ROOMS_LIST);
        ASSERT_TRUE(Until([&] { return p.k.menus[5].list->GetCount() == 1; }));
        TapLine(p, 5, 0);
        ASSERT_TRUE(Until([&] { return p.k.GetState() == KrvMp::MENU_GAME_ROOM; }));
    }

    fronttest::ScratchDir dir;
    PVFS vfs;
    PGlobals globals {};
    void* oldTls = nullptr;
    p3dtest::Mesa mesa {W, H};
    Fonts fonts;
    rig::Hub hub;
    Settings settings;
    std::vector<std::unique_ptr<Player>> players;
};

} // namespace menutest
