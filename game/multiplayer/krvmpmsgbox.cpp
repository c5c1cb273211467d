#include "game/multiplayer/krvmpmsgbox.h"

#include <cstring>

#include "engine/graphics/pblit.h"
#include "engine/graphics/psurface3d.h"
#include "game/frontend/fonts.h"
#include "game/frontend/textinput.h"
#include "game/multiplayer/ipinput.h"
#include "game/world/audiomanager.h"

namespace {

// Content lines are measured in this font (the caption is drawn in font 0,
// centred in the measured height).
constexpr int kMeasureFont = 1;

const char* const kKeysQwerty[KrvMpTxtInput::kRows] = {"1234567890-", "QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM<"};
const char* const kKeysNumpad[KrvMpTxtInput::kRows] = {"789", "456", "123", " 0<"};

} // namespace

// --- KrvMpMsgBox ---

KrvMpMsgBox::KrvMpMsgBox(Fonts* fonts, int screenWidth, int screenHeight, AudioManager* audio)
    : m_fonts(fonts), m_screenWidth(screenWidth), m_screenHeight(screenHeight), m_audio(audio)
{
}

KrvMpMsgBox::~KrvMpMsgBox()
{
    ButtonsRelease();
    ContentRelease();
    m_callback = nullptr;
    m_user = nullptr;
}

int KrvMpMsgBox::ButtonTextId(int value)
{
    switch (value) {
    case BUTTON_OK:
        return 296;
    case BUTTON_CANCEL:
        return 297;
    case BUTTON_YES:
        return 8;
    case BUTTON_NO:
        return 9;
    default:
        return 0;
    }
}

KrvMpButton* KrvMpMsgBox::ContentGetNew()
{
    if (!m_content)
        m_content = new KrvMpList();
    auto* line = new KrvMpButton(m_fonts);
    line->m_touchStyle = 0;
    line->m_framed = 0;
    m_content->Add(line);
    return line;
}

void KrvMpMsgBox::ContentAdd(const wchar_t* text) { ContentGetNew()->m_caption.SetText(text); }
void KrvMpMsgBox::ContentAdd(const char* text) { ContentGetNew()->m_caption.SetText(text); }
void KrvMpMsgBox::ContentAdd(int textId) { ContentGetNew()->m_caption.SetText(textId); }

void KrvMpMsgBox::ButtonAdd(BUTTONS value)
{
    auto* b = new KrvMpButton(m_fonts);
    b->m_touchStyle = KrvMpButton::kHighlight;
    b->m_framed = 0;
    b->m_caption.SetText(ButtonTextId(value));
    m_buttons.emplace_back(b, value);
}

void KrvMpMsgBox::SetCallback(Callback cb, void* user)
{
    m_callback = cb;
    m_user = user;
}

void KrvMpMsgBox::Show()
{
    if (!m_content || m_content->GetCount() == 0)
        return;
    const int cw = m_screenWidth - m_screenWidth / 3;
    int total = 0;
    for (KrvMpButton* line : m_content->m_lines) {
        if (!line)
            continue;
        line->m_rect.width = cw;
        line->m_rect.height = line->m_caption.GetHeight(kMeasureFont, cw);
        total += line->m_rect.height;
    }
    const int boxW = cw + 2 * kPadding;
    const int boxH = total + 2 * kPadding;
    m_box = PRect{(m_screenWidth >> 1) - (boxW >> 1), (m_screenHeight >> 1) - (boxH >> 1), boxW, boxH};
    m_content->m_rect = PRect{m_box.x + kPadding, m_box.y + kPadding, m_box.width - 2 * kPadding,
                              m_box.height - 2 * kPadding};
    m_content->Generate(0);
    m_content->m_noSeparators = 1;
    if (!m_buttons.empty()) {
        const int bw = m_box.width / int(m_buttons.size());
        m_box.height += kButtonHeight;
        for (size_t i = 0; i < m_buttons.size(); i++) {
            KrvMpButton* b = m_buttons[i].first;
            const int x = m_box.x + int(i) * bw;
            const int y = m_box.y + m_box.height - kButtonHeight;
            b->SetRect(x, y, bw, kButtonHeight);
            const PRect hot{x, y - kHotSpotMargin, bw, kButtonHeight + 2 * kHotSpotMargin};
            b->SetHotSpot(&hot);
        }
    }
    m_visible = 1;
    m_shown++;
    m_tap.Open();
}

void KrvMpMsgBox::Hide()
{
    ButtonsRelease();
    ContentRelease();
    m_visible = 0;
    m_callback = nullptr;
    m_user = nullptr;
}

void KrvMpMsgBox::ButtonsRelease()
{
    for (auto& b : m_buttons)
        delete b.first;
    m_buttons.clear();
}

void KrvMpMsgBox::ContentRelease()
{
    delete m_content;
    m_content = nullptr;
}

void KrvMpMsgBox::PlayClick()
{
    if (m_audio)
        m_audio->Play(kClickClip, 1, 0);
}

int KrvMpMsgBox::Update(int x, int y, int penDown, int penWasDown)
{
    if (!m_visible || !m_content || m_buttons.empty())
        return 0;
    // The buttons see no pen until a press has come since the box was drawn.
    if (!m_tap.Armed())
        penDown = penWasDown = 0;
    int value = 0;
    for (auto& b : m_buttons)
        if (b.first->Touchscreen_Update(x, y, penDown, penWasDown) && value == 0)
            value = b.second;
    if (value == 0)
        return 0;
    PlayClick();
    // The callback runs once the buttons are no longer being walked; when it
    // shows a new box in this object, that box stays up.
    const unsigned shown = m_shown;
    if (m_callback)
        m_callback(value, m_user);
    if (m_shown == shown)
        Hide();
    return value;
}

int KrvMpMsgBox::Render(P3D* ctx)
{
    if (!m_visible || !m_content)
        return 0;
    ctx->FillRect(0, 0, unsigned(m_screenWidth), unsigned(m_screenHeight), kShadeColour, P3DBLEND_ALPHA);
    ctx->FillRect(m_box, kBoxColour, P3DBLEND_ALPHA);
    m_content->Render(ctx);
    for (auto& b : m_buttons)
        if (b.first)
            b.first->Render(ctx);
    // On the screen whole (the box has no opening animation): taps begun
    // from now on are the box's.
    m_tap.Shown();
    return 1;
}

// --- KrvMpSwapper ---

void KrvMpSwapper::SetValues(const wchar_t* const* values, int count)
{
    m_values.clear();
    if (!values || count <= 0)
        return;
    for (int i = 0; i < count; i++)
        m_values.emplace_back(values[i] ? values[i] : L"");
}

void KrvMpSwapper::SetValues(const char* const* values, int count)
{
    m_values.clear();
    if (!values || count <= 0)
        return;
    for (int i = 0; i < count; i++) {
        const char* s = values[i] ? values[i] : "";
        std::wstring w(std::strlen(s) + 1, L'\0');
        w.resize(size_t(Fonts::Utf8ToWide(w.data(), int(w.size()), s)));
        m_values.push_back(std::move(w));
    }
}

void KrvMpSwapper::SetValue(int index)
{
    if (index < 0 || index >= int(m_values.size()))
        return;
    m_index = index;
    m_value.SetText(m_values[size_t(index)].c_str());
}

void KrvMpSwapper::ReleaseButtons()
{
    delete m_left;
    delete m_right;
    m_left = m_right = nullptr;
}

void KrvMpSwapper::Generate(PSurface3D* leftIcon, PSurface3D* rightIcon)
{
    ReleaseButtons();
    m_left = new KrvMpButton(m_fonts);
    m_right = new KrvMpButton(m_fonts);
    m_left->SetRect(m_rect.x + 2, m_rect.y, kArrowWidth, m_rect.height);
    m_right->SetRect(m_rect.x + m_rect.width - kArrowWidth, m_rect.y, kArrowWidth, m_rect.height);
    for (KrvMpButton* b : {m_left, m_right}) {
        b->m_framed = 0;
        b->m_touchStyle = KrvMpButton::kGrowIcon;
    }
    m_left->SetIcon(leftIcon);
    m_right->SetIcon(rightIcon);
    m_title.m_fonts = m_fonts;
    m_value.m_fonts = m_fonts;
    SetValue(m_index);
}

int KrvMpSwapper::Update(int x, int y, int penDown, int penWasDown)
{
    if (!m_left || !m_right)
        return -1;
    const int leftClick = m_left->Touchscreen_Update(x, y, penDown, penWasDown);
    const int rightClick = m_right->Touchscreen_Update(x, y, penDown, penWasDown);
    int r = leftClick ? kLeft : (rightClick ? kRight : -1);
    if (m_locked)
        r = -1;
    else if (r == kLeft)
        SetValue(m_index - 1);
    else if (r == kRight)
        SetValue(m_index + 1);
    m_left->m_iconDimmed = (m_index < 1 || m_locked) ? 1 : 0;
    m_right->m_iconDimmed = (m_index >= int(m_values.size()) - 1 || m_locked) ? 1 : 0;
    return r;
}

void KrvMpSwapper::Render(P3D* ctx)
{
    KrvMpDrawFrame(ctx, m_rect);
    int x = m_rect.x;
    int width = m_rect.width;
    if (m_left) {
        m_left->Render(ctx);
        x += m_left->m_rect.width;
        width -= m_left->m_rect.width;
    }
    if (m_right) {
        m_right->Render(ctx);
        width -= m_right->m_rect.width;
    }
    const int half = m_rect.height / 2;
    m_title.Render(ctx, 0, PRect{x, m_rect.y, width, half}, KrvMpLabel::kCentered);
    m_value.Render(ctx, 0, PRect{x, m_rect.y + half, width, half}, KrvMpLabel::kCentered);
    if (m_locked)
        ctx->FillRect(m_rect, KrvMpButton::kVeilColour, P3DBLEND_ALPHA);
}

void KrvMpSwapper::Release()
{
    ReleaseButtons();
    m_values.clear();
}

// --- KrvMpTxtInput ---

KrvMpTxtInput::KrvMpTxtInput(Fonts* fonts) : m_fonts(fonts) {}

KrvMpTxtInput::~KrvMpTxtInput() = default;

const char* const* KrvMpTxtInput::Rows(KEYBOARD_MODE mode)
{
    return mode == KEYBOARD_NUMPAD ? kKeysNumpad : kKeysQwerty;
}

void KrvMpTxtInput::KeysGenerate(P3D* ctx, PTicker* ticker, KEYBOARD_MODE mode)
{
    KeysRelease();
    m_active = nullptr;
    m_nameInput.reset();
    m_addressInput.reset();
    m_mode = mode;
    if (!m_keyImage)
        m_keyImage.reset(PSurface3D::CreateFromFile(ctx, "data\\2dgfx\\typing_bg.png", PS3D_DROPIMAGE));
    if (!m_deleteImage)
        m_deleteImage.reset(PSurface3D::CreateFromFile(ctx, "data\\2dgfx\\char_delete.png", PS3D_DROPIMAGE));

    m_nameInput = std::make_unique<TextInput>(nullptr, ticker);
    m_nameInput->ForceUpperCase(1);
    m_nameInput->SetDeleteKey(kDeleteKey);
    m_nameInput->SetMaxTextLength(kNameLength);
    m_nameInput->SetQwerty(1);
    m_addressInput = std::make_unique<IPinput>(nullptr, ticker);
    m_addressInput->SetDeleteKey(kDeleteKey);
    m_addressInput->SetMaxTextLength(kAddressLength);
    m_addressInput->SetQwerty(0);
    m_active = mode == KEYBOARD_NUMPAD ? static_cast<TextInput*>(m_addressInput.get()) : m_nameInput.get();

    const char* const* rows = Rows(mode);
    for (int r = 0; r < kRows; r++) {
        const int n = int(std::char_traits<char>::length(rows[r]));
        for (int i = 0; i < n; i++) {
            Key k{};
            k.width = k.height = kKeySize;
            k.y = m_y + kKeySize * r;
            k.x = m_x + m_width / 2 + kKeySize * i - (kKeySize * n) / 2;
            k.character = uint8_t(rows[r][i]);
            m_keys.push_back(k);
        }
    }
}

int KrvMpTxtInput::Update(int x, int y, int penDown, int penWasDown)
{
    if (m_keys.empty())
        return -1;
    auto inside = [x, y](const Key& k) { return KrvMpInside(PRect{k.x, k.y, k.width, k.height}, x, y); };
    if (penDown) {
        for (Key& k : m_keys)
            k.pressed = inside(k) ? 1 : 0;
        return -1;
    }
    for (Key& k : m_keys)
        k.pressed = 0;
    if (!penWasDown)
        return -1;
    for (const Key& k : m_keys) {
        if (!inside(k))
            continue;
        if (!m_active)
            return k.character;
        if (k.character == uint8_t(kDeleteChar)) {
            m_active->HandleNumpadInput(kDeleteKey, kDeleteKey);
            return kDeleteKey;
        }
        m_active->HandleNumpadInput(k.character, k.character);
        return k.character;
    }
    return -1;
}

void KrvMpTxtInput::Render(P3D* ctx)
{
    const int lineHeight = m_fonts ? m_fonts->Height(kKeyFont) : 0;
    for (const Key& k : m_keys) {
        if (m_keyImage) {
            const int g = k.pressed ? kPressedGrow : 0;
            PBlitFX fx;
            fx.alpha = 255;
            ctx->BlitFx(PRect{k.x - g, k.y - g, k.width + 2 * g, k.height + 2 * g}, m_keyImage.get(), nullptr, 0x41, fx);
        }
        if (k.character == uint8_t(kDeleteChar)) {
            if (m_deleteImage)
                ctx->Blit(k.x + k.width / 2 - int(m_deleteImage->Width()) / 2,
                          k.y + k.height / 2 - int(m_deleteImage->Height()) / 2, m_deleteImage.get(), nullptr,
                          PBLIT_TRANSPARENT);
        } else if (m_fonts) {
            const char s[2] = {char(k.character), 0};
            m_fonts->Print(k.x + k.width / 2 - m_fonts->StringWidth(kKeyFont, s) / 2,
                           k.y + k.height / 2 - lineHeight / 2, s, kKeyFont);
        }
    }
}
