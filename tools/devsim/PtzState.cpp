#include "PtzState.h"

#include <algorithm>

namespace devsim {

namespace {

// Steps are added in 64 bits so a huge count only drives the axis to its limit.
int MoveAxis(int value, long long delta, int low, int high)
{
    return static_cast<int>(std::clamp<long long>(value + delta, low, high));
}

} // namespace

bool PtzState::Move(QByteArrayView direction, int steps)
{
    if (steps < 0)
        return false;
    if (direction == "left")
        m_pan = MoveAxis(m_pan, -static_cast<long long>(steps), kPanMin, kPanMax);
    else if (direction == "right")
        m_pan = MoveAxis(m_pan, steps, kPanMin, kPanMax);
    else if (direction == "up")
        m_tilt = MoveAxis(m_tilt, steps, kTiltMin, kTiltMax);
    else if (direction == "down")
        m_tilt = MoveAxis(m_tilt, -static_cast<long long>(steps), kTiltMin, kTiltMax);
    else if (direction == "zoomin")
        m_zoom = MoveAxis(m_zoom, steps, kZoomMin, kZoomMax);
    else if (direction == "zoomout")
        m_zoom = MoveAxis(m_zoom, -static_cast<long long>(steps), kZoomMin, kZoomMax);
    else if (direction == "home")
        Home();
    else if (direction != "stop")
        return false;
    return true;
}

void PtzState::Home()
{
    m_pan = 0;
    m_tilt = 0;
    m_zoom = kZoomMin;
}

bool PtzState::SetPreset(int number)
{
    if (number < kPresetMin || number > kPresetMax)
        return false;
    m_presets.insert(number, Position{m_pan, m_tilt, m_zoom});
    return true;
}

bool PtzState::GotoPreset(int number)
{
    const auto it = m_presets.constFind(number);
    if (it == m_presets.cend())
        return false;
    m_pan = it->pan;
    m_tilt = it->tilt;
    m_zoom = it->zoom;
    return true;
}

QByteArray PtzState::PositionText() const
{
    return "pan=" + QByteArray::number(m_pan + m_panError) + " tilt=" + QByteArray::number(m_tilt)
        + " zoom=" + QByteArray::number(m_zoom);
}

} // namespace devsim
