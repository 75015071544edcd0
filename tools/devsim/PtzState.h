#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QMap>

namespace devsim {

// Pan, tilt and zoom of the simulated head, in whole steps. Moves stop at the
// mechanical limits instead of wrapping.
class PtzState {
public:
    static constexpr int kPanMin = -180;
    static constexpr int kPanMax = 180;
    static constexpr int kTiltMin = -90;
    static constexpr int kTiltMax = 90;
    static constexpr int kZoomMin = 1;
    static constexpr int kZoomMax = 40;
    static constexpr int kPresetMin = 1;
    static constexpr int kPresetMax = 255;

    int pan() const { return m_pan; }
    int tilt() const { return m_tilt; }
    int zoom() const { return m_zoom; }

    // direction: left, right, up, down, zoomin, zoomout, home (steps ignored)
    // or stop (nothing moves). False for any other word or negative steps.
    bool Move(QByteArrayView direction, int steps);

    // Home position: pan 0, tilt 0, zoom 1. Presets are kept.
    void Home();

    bool SetPreset(int number);
    bool GotoPreset(int number); // false when the number is out of range or unset

    // "pan=P tilt=T zoom=Z"; P off by the pan error.
    QByteArray PositionText() const;

    // A head that misses its target: the position it answers is this many
    // steps off in pan (0: right). Kept over Home and reboots.
    void SetPanError(int steps) { m_panError = steps; }

private:
    struct Position {
        int pan;
        int tilt;
        int zoom;
    };

    int m_pan = 0;
    int m_tilt = 0;
    int m_zoom = kZoomMin;
    int m_panError = 0;
    QMap<int, Position> m_presets;
};

} // namespace devsim
