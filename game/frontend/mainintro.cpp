#include "game/frontend/mainintro.h"

#include "engine/graphics/p3d.h"
#include "engine/graphics/pblit.h"
#include "engine/graphics/psurface3d.h"
#include "engine/platform/pdisplay.h"
#include "engine/runtime/pdebug.h"

MainIntro::MainIntro(P3D* p3d, Fonts*) : m_p3d(p3d) {}

MainIntro::~MainIntro()
{
    delete m_maker;
    delete m_title;
}

int MainIntro::LoadIntro(PDisplayProperties*, Settings*, uint8_t)
{
    delete m_maker;
    delete m_title;
    m_maker = PSurface3D::CreateFromFile(m_p3d, kMakerPicture, PS3D_DROPIMAGE);
    m_title = PSurface3D::CreateFromFile(m_p3d, kTitlePicture, PS3D_DROPIMAGE);
    if (!m_maker || !m_title) {
        _PDebug("MainIntro: %s did not load\n", m_maker ? kTitlePicture : kMakerPicture);
        return 0;
    }
    return 1;
}

int MainIntro::ValidateTimer(unsigned now, unsigned duration, unsigned keys)
{
    if (!m_waiting) {
        m_waiting = true;
        m_start = now;
    }
    if (now - m_start < duration && !(keys & kSkipKeys))
        return 0;
    m_waiting = false;
    m_start = 0;
    return 1;
}

int MainIntro::ShowNorvalis(PDisplayProperties* props, unsigned now, unsigned keys)
{
    if (m_p3d && props) {
        m_p3d->Clear(0xff000000);
        if (m_maker)
            m_p3d->Blit((props->width - int(m_maker->Width())) / 2, (props->height - int(m_maker->Height())) / 2,
                        m_maker, nullptr, 0);
    }
    return ValidateTimer(now, kMakerMs, keys);
}

int MainIntro::ShowTitle(PDisplayProperties* props, unsigned now, unsigned keys)
{
    if (m_p3d && props && m_title) {
        PBlitFX fx;
        fx.alpha = 255;
        m_p3d->BlitFx(PRect{0, 0, props->width, props->height}, m_title, nullptr, PS3D_ALPHA, fx);
    }
    return ValidateTimer(now, kTitleMs, keys);
}
