#pragma once

#include <QSpinBox>

#include <cstdint>

class QSettings;

// The Devices window's "Ramp-up": the seconds over which a fleet's devices
// start, evenly, in the list's order (velkor-cli's --ramp-up); 0, the
// default, starts them all at once, as many as Jobs lets. Kept between
// starts with the window's settings.
class CRampUpBox : public QSpinBox {
public:
    explicit CRampUpBox(QWidget* pParent = nullptr);

    std::int64_t RampUpMs() const { return std::int64_t(value()) * 1000; }
    void Store(QSettings& settings) const;
    // A kept value the box would not take leaves it at 0.
    void Restore(const QSettings& settings);

    // A day: longer spreads are a command-line matter.
    static constexpr int kMostSeconds = 86400;
};
