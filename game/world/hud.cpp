#include "game/world/hud.h"

ObjectiveElement::~ObjectiveElement() { delete[] title; }
int ObjectiveElement::SetTitle(const wchar_t*) { return 1; }

Hud::Hud(P3D* p3d, Fonts* fonts, int w, int h, const uint32_t* clock, ProfileManager* pm, HudMatchLink* match)
    : m_p3d(p3d), m_fonts(fonts), m_w(w), m_h(h), m_clock(clock), m_profileManager(pm), m_match(match)
{
}
Hud::~Hud() { Release(); }
int Hud::Init() { return 0; }
void Hud::Release() {}
int Hud::TouchScreen_Shoot(int, int, bool) { return 0; }
int Hud::TouchScreen_ThrottleModify(int, int, bool, int32_t&) { return 0; }
int Hud::TouchScreen_isInsideWeaponIcon(int x, int y, bool) const { return m_weaponRegion.Contains(x, y); }
int Hud::TouchScreen_IsInsideCamSmart(int x, int y, bool down) const { return x < 30 && y >= 6 && y < 36 && down; }
void Hud::UpdateTimer(uint32_t) {}
void Hud::InitTimer(int, int, bool) {}
void Hud::DrawTimer() {}
void Hud::UpdateHiding() {}
void Hud::UpdateCurrentWeapon(int) {}
int Hud::InitWeaponImages(const int8_t*, int) { return 0; }
void Hud::SetRadarPosition(const PVector3&, int32_t) {}
void Hud::ClearRadarObjs() { m_radarCount = 0; }
void Hud::AddRadarObj(const PVector3&, uint32_t, PSurface3D*) {}
void Hud::TranslateToRadarCoords(int32_t, int32_t, int32_t, int32_t, int32_t, int, int& dx, int& dy) { dx = dy = 0; }
void Hud::SetConditionTxt(int id) { m_conditionText = id, m_conditionVisible = 1; }
void Hud::DisableConditionTxt() { m_conditionVisible = 0; }
void Hud::ReinitRankIconPos(int, int) {}
int Hud::AddObjectiveElement(const Objective*) { return 0; }
void Hud::InitObjectivesWindow(int) {}
void Hud::ClearObjectivesWindow() {}
void Hud::DrawObjectivesBar() {}
const ObjectiveElement* Hud::GetObjectiveElement(int) const { return nullptr; }
void Hud::AddSummaryElement(const wchar_t*, int, int) {}
const SummaryElement* Hud::GetSummaryElement(int) const { return nullptr; }
int64_t Hud::GetTotalSummaryScore() const { return 0; }
int Hud::HandleGeneralMedalAwardEvent() { return 0; }
int Hud::HandleArcadeMedalAwardEvent(uint32_t) { return 0; }
int Hud::HandleMomentAndDrawPromotion() { return 0; }
int Hud::SC_Add(GPO*, int, int32_t) { return 0; }
GPO* Hud::SC_IsLocking() const { return nullptr; }
int Hud::SC_GetLockedIndex() const { return -1; }
void Hud::SC_LockAtIndex(int, uint8_t) {}
void Hud::SC_UnlockAll() {}
void Hud::SC_Clean() {}
void Hud::SC_Update(MyInput*, int) {}
void Hud::SC_UpdateDist(int32_t) {}
int Hud::SC_TouchUpdate(int, int, bool, bool) { return 0; }
void Hud::SC_Render(bool) {}
int Hud::SC_IconsLoad() { return 1; }
void Hud::SC_IconsRelease() {}
void Hud::SC_IconsReset() {}
void Hud::Render(int, int, int, bool) {}
void Hud::DrawEnergyBar(P3D*, const PRect&, int, int, bool) {}
void Hud::GetTimerBase(int& m, int& s) const { m = m_timerInitMinutes, s = m_timerInitSeconds; }
void Hud::SetTimerBase(int, int) {}
