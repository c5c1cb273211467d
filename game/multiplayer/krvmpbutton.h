// Touch widgets of the multiplayer menus: a word-wrapped label, a button
// (caption, optional icon, frame and touch hot spot) and a button with a
// background colour and a row of icons.
//
// Every widget is driven once per frame with the menu's touch state: the
// position, penDown (a finger is on the screen) and penWasDown (the pen state
// before the latest touch event). A release is penDown 0 with penWasDown set;
// the menu clears penWasDown once it has acted on a release.
#pragma once
#include <cstdint>
#include <vector>

#include "engine/graphics/p3d.h"

class Fonts;
class PSurface3D;

// The widgets' three-line frame around r: dark, bright, dark, each one pixel
// further out.
void KrvMpDrawFrame(P3D* ctx, const PRect& r);

// True when (x, y) lies in r, edges included.
inline bool KrvMpInside(const PRect& r, int x, int y)
{
    return x >= r.x && x <= r.x + r.width && y >= r.y && y <= r.y + r.height;
}

class KrvMpLabel {
public:
    static constexpr int kMaxChars = 127;
    // Render flags.
    enum : int { kAlignCenter = 2, kAlignRight = 4, kVCenter = 16, kBottom = 32 };
    static constexpr int kCentered = kAlignCenter | kVCenter;

    void Reset() { m_text[0] = 0; }
    // UTF-8 text; at most kMaxChars characters.
    void SetText(const char* text);
    void SetText(const wchar_t* text);
    // A text id of the interface texts; nothing without a font set.
    void SetText(int id);
    const wchar_t* GetText() const { return m_text; }
    bool IsEmpty() const { return m_text[0] == 0; }
    // Pixel height of the text word-wrapped to width in font.
    int GetHeight(int font, int width) const;
    void Render(P3D* ctx, int font, PRect rect, int flags) const;

    Fonts* m_fonts = nullptr;

private:
    wchar_t m_text[kMaxChars + 1] = {};
};

class KrvMpButton {
public:
    // Touch style bits; 0 ignores touches.
    enum : uint8_t { kGrowIcon = 1, kHighlight = 2 };
    static constexpr unsigned kHighlightColour = 0x7FFFCC88;
    static constexpr unsigned kVeilColour = 0x66440808;
    static constexpr int32_t kPressedScale = 0x11999; // 1.1 in 16.16
    static constexpr int kIconBlitFlags = 0x49;

    explicit KrvMpButton(Fonts* fonts);
    virtual ~KrvMpButton() = default;
    KrvMpButton(const KrvMpButton&) = delete;
    KrvMpButton& operator=(const KrvMpButton&) = delete;

    void SetRect(const PRect& r) { m_rect = r; }
    void SetRect(int x, int y, int w, int h) { m_rect = PRect{x, y, w, h}; }
    void SetIcon(PSurface3D* icon) { m_icon = icon; }
    // A rectangle that replaces the drawn one for touches; null clears it.
    void SetHotSpot(const PRect* r);
    // 1 on a release inside the touch area of a visible, enabled button.
    int Touchscreen_Update(int x, int y, int penDown, int penWasDown);
    virtual void Render(P3D* ctx);

    KrvMpLabel m_caption;
    PRect m_rect{};
    PSurface3D* m_icon = nullptr;
    uint8_t m_pressed = 0;
    uint8_t m_framed = 1;
    uint8_t m_touchStyle = kHighlight;
    uint8_t m_hidden = 0;
    uint8_t m_iconDimmed = 0;
    uint8_t m_disabled = 0;
    uint8_t m_extended = 0;
    uint8_t m_hotSpotSet = 0;
    PRect m_hotSpot{};
};

class KrvMpButtonExt : public KrvMpButton {
public:
    // Icons of the row share a centre line this far below the top.
    static constexpr int kIconCentreY = 22;
    static constexpr int kIconLeft = 2;

    explicit KrvMpButtonExt(Fonts* fonts) : KrvMpButton(fonts) { m_extended = 1; }
    void AddIcon(PSurface3D* icon) { m_icons.push_back(icon); }
    void ReleaseIcons() { m_icons.clear(); }
    void Render(P3D* ctx) override;

    // The images are not owned.
    std::vector<PSurface3D*> m_icons;
    unsigned m_background = 0;
};
