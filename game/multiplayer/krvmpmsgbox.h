// Composite widgets of the multiplayer menus: a modal message box with lines
// of text and a row of buttons, a value swapper stepped by two arrow buttons,
// and the on-screen keyboard of the text-edit screen.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "game/multiplayer/krvmpbutton.h"
#include "game/multiplayer/krvmplist.h"
#include "game/world/tapguard.h"

class AudioManager;
class IPinput;
class PTicker;
class TextInput;

class KrvMpMsgBox {
public:
    enum BUTTONS : int { BUTTON_OK = 1, BUTTON_CANCEL = 2, BUTTON_YES = 4, BUTTON_NO = 8 };
    using Callback = void (*)(int button, void* user);
    static constexpr int kButtonHeight = 44;
    // Buttons answer touches this much above and below themselves too.
    static constexpr int kHotSpotMargin = 12;
    static constexpr int kPadding = 8;
    static constexpr int kClickClip = 11;
    static constexpr unsigned kShadeColour = 0x6F000000;
    static constexpr unsigned kBoxColour = 0xEFD19950;

    KrvMpMsgBox(Fonts* fonts, int screenWidth, int screenHeight, AudioManager* audio);
    ~KrvMpMsgBox();
    KrvMpMsgBox(const KrvMpMsgBox&) = delete;
    KrvMpMsgBox& operator=(const KrvMpMsgBox&) = delete;

    // The caption text id of a button value; 0 for anything else.
    static int ButtonTextId(int value);

    void ContentAdd(const wchar_t* text);
    void ContentAdd(const char* text);
    void ContentAdd(int textId);
    void ButtonAdd(BUTTONS value);
    void SetCallback(Callback cb, void* user);
    // Lays the box out in the middle of the screen; nothing without content.
    // The box opens: only a tap pressed after it has been drawn (Render)
    // answers it.
    void Show();
    // Destroys buttons and content and forgets the callback.
    void Hide();
    // Every press and release of the menus, as they come, box shown or not.
    void PenEvent(bool down) { m_tap.Event(down); }
    // The value of a clicked button (after the callback has run), else 0.
    int Update(int x, int y, int penDown, int penWasDown);
    // 1 when the box was drawn.
    int Render(P3D* ctx);
    void ButtonsRelease();
    void ContentRelease();
    void PlayClick();
    bool IsVisible() const { return m_visible != 0; }

    std::vector<std::pair<KrvMpButton*, BUTTONS>> m_buttons;
    KrvMpList* m_content = nullptr;
    Fonts* m_fonts;
    PRect m_box{};
    uint8_t m_visible = 0;
    int m_screenWidth, m_screenHeight;
    AudioManager* m_audio;
    Callback m_callback = nullptr;
    void* m_user = nullptr;

private:
    KrvMpButton* ContentGetNew();
    // Counts Show calls, so that Update can tell a callback that showed a new
    // box from one that did not.
    unsigned m_shown = 0;
    TapGuard m_tap;
};

class KrvMpSwapper {
public:
    static constexpr int kArrowWidth = 44;
    static constexpr int kLeft = 0;
    static constexpr int kRight = 1;

    explicit KrvMpSwapper(Fonts* fonts) : m_fonts(fonts) {}
    ~KrvMpSwapper() { Release(); }
    KrvMpSwapper(const KrvMpSwapper&) = delete;
    KrvMpSwapper& operator=(const KrvMpSwapper&) = delete;

    // Replace the values with copies; neither moves the current index.
    void SetValues(const wchar_t* const* values, int count);
    // The same from UTF-8 texts (a peer's room and player names).
    void SetValues(const char* const* values, int count);
    // Shows value index and makes it current; ignored out of range.
    void SetValue(int index);
    // Makes the arrow buttons at both ends of the rectangle.
    void Generate(PSurface3D* leftIcon, PSurface3D* rightIcon);
    // kLeft or kRight for a clicked arrow (also when the value could not
    // move), -1 for nothing or while locked.
    int Update(int x, int y, int penDown, int penWasDown);
    void Render(P3D* ctx);
    void Release();
    int GetIndex() const { return m_index; }

    KrvMpButton* m_left = nullptr;
    KrvMpButton* m_right = nullptr;
    KrvMpLabel m_title;
    KrvMpLabel m_value;
    PRect m_rect{};
    std::vector<std::wstring> m_values;
    int m_index = 0;
    Fonts* m_fonts;
    uint8_t m_locked = 0;

private:
    void ReleaseButtons();
};

class KrvMpTxtInput {
public:
    enum KEYBOARD_MODE : int { KEYBOARD_QWERTY = 0, KEYBOARD_NUMPAD = 1 };
    static constexpr int kKeySize = 44;
    static constexpr int kRows = 4;
    static constexpr char kDeleteChar = '<';
    static constexpr int kDeleteKey = 8;
    static constexpr int kNameLength = 10;
    static constexpr int kAddressLength = 15;
    static constexpr int kKeyFont = 1;
    static constexpr int kPressedGrow = 4;

    struct Key {
        int x, y, width, height;
        uint8_t character;
        uint8_t pressed;
    };

    explicit KrvMpTxtInput(Fonts* fonts);
    ~KrvMpTxtInput();
    KrvMpTxtInput(const KrvMpTxtInput&) = delete;
    KrvMpTxtInput& operator=(const KrvMpTxtInput&) = delete;

    // The key rows of a mode, top first.
    static const char* const* Rows(KEYBOARD_MODE mode);
    // Lays out the keys of the mode centred in the keyboard area and makes
    // fresh inputs (their text is lost); loads the key images once.
    void KeysGenerate(P3D* ctx, PTicker* ticker, KEYBOARD_MODE mode);
    // The character of a released key (the delete key code for '<'), which
    // has been sent to the active input; -1 for nothing.
    int Update(int x, int y, int penDown, int penWasDown);
    void Render(P3D* ctx);
    void KeysRelease() { m_keys.clear(); }
    TextInput* GetActiveInput() const { return m_active; }

    KEYBOARD_MODE m_mode = KEYBOARD_QWERTY;
    std::vector<Key> m_keys;
    Fonts* m_fonts;
    int m_x = 0, m_y = 0, m_width = 0, m_height = 0;
    std::unique_ptr<PSurface3D> m_keyImage;
    std::unique_ptr<PSurface3D> m_deleteImage;
    std::unique_ptr<TextInput> m_nameInput;
    std::unique_ptr<IPinput> m_addressInput;
    TextInput* m_active = nullptr;
};
