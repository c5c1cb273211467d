// The more-games screen: four title pictures in a column that the player
// flicks up and down; the column wraps around and the pictures fade out at
// the edges of their area.
#pragma once
#include <cstdint>

class P3D;
class PSurface3D;

class UIMoreGames {
public:
    static constexpr int kPictures = 4;
    static const char* const kPictureFiles[kPictures];

    explicit UIMoreGames(P3D* p3d) : m_p3d(p3d) {}
    ~UIMoreGames() { release(); }
    UIMoreGames(const UIMoreGames&) = delete;
    UIMoreGames& operator=(const UIMoreGames&) = delete;

    // Loads the pictures (missing ones stay empty) and resets the motion.
    void init();
    // The area the pictures are drawn and clipped to.
    void SetRect(int x, int y, int w, int h)
    {
        m_x = x;
        m_y = y;
        m_w = w;
        m_h = h;
    }
    void update(int input, uint32_t now, uint32_t frameTime);
    void onTouch(int x, int y, int pressed);
    void render();
    // Picture i drawn row by row from 10 pixels above the area's top with
    // rising alpha, and from the area's bottom with falling alpha.
    void renderFadedTop(int i, int x, int y);
    void renderFadedBottom(int i, int x, int y);
    void release();

    int32_t Position() const { return m_position; }
    int32_t Velocity() const { return m_velocity; }
    int LoopLength() const { return m_loop; }

private:
    void DrawRow(int i, int x, int y, int row, int alpha);

    P3D* m_p3d;
    int m_x = 0, m_y = 0, m_w = 0, m_h = 0;
    PSurface3D* m_pictures[kPictures] = {};
    int m_pictureHeight = 16;
    int m_loop = 64;
    int m_lastX = 0, m_lastY = 0;
    int32_t m_velocity = 0; // 16.16 pixels a frame
    int32_t m_position = 0; // 16.16 pixels
    int m_touching = 0;
};
