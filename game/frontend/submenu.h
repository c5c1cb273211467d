// The framed pop-up menu the game shows while play is paused: a column of
// actions picked by touch. It opens with a short grow animation, dims the
// screen behind it and acts when the pen is lifted on a row.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class Fonts;
class MyInput;
class P3D;
class PSurface3D;

enum ACTION : int {
    ACTION_RESUME = 0,
    ACTION_RESTART = 1,
    ACTION_MAIN_MENU = 2,
    ACTION_LEAVE_MATCH = 3,
    ACTION_NEXT_LEVEL = 4,
    ACTION_OPTIONS = 5,
    ACTION_CALIBRATE = 6,
    ACTION_NONE = 7,
};

class SubMenu {
public:
    enum State : int {
        STATE_OPEN = 0,
        STATE_CLOSED = 1,
        STATE_OPENING = 2,
    };
    // The frame pictures, in the order they are loaded.
    enum FrameImage : int {
        FRAME_CENTER,
        FRAME_BOTTOM,
        FRAME_LEFT,
        FRAME_LEFT_BOTTOM,
        FRAME_LEFT_TOP,
        FRAME_RIGHT,
        FRAME_RIGHT_BOTTOM,
        FRAME_RIGHT_TOP,
        FRAME_TOP,
        FRAME_IMAGE_COUNT,
    };
    static const char* const kFrameFiles[FRAME_IMAGE_COUNT];
    // The label text of each action.
    static const unsigned kActionTexts[ACTION_NONE];
    static constexpr int kFont = 0;
    // Rows are at least a finger tall once the menu opens.
    static constexpr int kMinRowHeight = 44;
    static constexpr int kPadding = 16;
    static constexpr unsigned kDimColour = 0x6f000000;
    static constexpr unsigned kHighlightColour = 0x7fffcc88;
    static constexpr uint32_t kBackgroundAlpha = 64;
    static constexpr int kBackgroundImage = 7;

    SubMenu(int width, int height, Fonts* fonts);
    ~SubMenu();
    SubMenu(const SubMenu&) = delete;
    SubMenu& operator=(const SubMenu&) = delete;

    // Loads the nine frame pictures; 1 when all loaded (missing ones are
    // simply not drawn).
    int LoadFrameImages(P3D* p3d);
    // Shows the actions (their labels from the current text file) and
    // starts the opening animation.
    void Open(const ACTION* actions, signed char count);
    void Close();
    // A new screen size: the frame is centred again and an opening menu is
    // shown fully open.
    void Rearrange(int width, int height);
    // A touch at (x, y): pressing highlights a row, releasing on a row
    // returns its action (and consumes the release); otherwise ACTION_NONE.
    int TouchScreen_Process(int x, int y, int& pressed, int& released);
    // Keys pick nothing in this menu.
    int Process(MyInput* input, int keys);
    void Render(P3D* p3d);
    // Drops the items.
    void Clear();

    int GetState() const { return m_state; }
    int GetHighlight() const { return m_highlight; }
    int GetRowHeight() const { return m_rowHeight; }
    int GetItemCount() const { return int(m_actions.size()); }
    // The full frame rectangle.
    int GetX() const { return m_x; }
    int GetY() const { return m_y; }
    int GetWidth() const { return m_w; }
    int GetHeight() const { return m_h; }
    // The menu's frame drawn around a rectangle (the summary screen uses it).
    void DrawFrame(P3D* p3d, int x, int y, int w, int h);

private:
    void Centre();
    void ShowFullyOpen();
    void Animate();

    int m_screenWidth;
    int m_screenHeight;
    std::vector<std::wstring> m_labels;
    std::vector<int> m_actions;
    int m_state = STATE_CLOSED;
    int m_highlight = -1;
    Fonts* m_fonts;
    int m_fontHeight = 0;
    int m_rowHeight = 0;
    int m_x = 0, m_y = 0, m_w = 0, m_h = 0;
    int m_insetX = 0, m_insetY = 0, m_curW = 0, m_curH = 0;
    PSurface3D* m_frames[FRAME_IMAGE_COUNT] = {};
};
