#include "progress/ProgressBar.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace progress {
namespace {

int rounded(float value) {
    constexpr float limit = static_cast<float>(std::numeric_limits<int>::max() / 2);
    return static_cast<int>(std::lround(std::clamp(value, -limit, limit)));
}

} // namespace

ProgressBar::ProgressBar(QWidget* parent) : QProgressBar(parent) {
    // The plain bar of the common controls: no percentage text.
    setTextVisible(false);
    applyToBar();
}

void ProgressBar::setMin(float min) {
    min_ = min;
    applyToBar();
}

void ProgressBar::setMax(float max) {
    max_ = max;
    applyToBar();
}

void ProgressBar::setValue(float value) {
    value_ = value;
    applyToBar();
}

void ProgressBar::applyToBar() {
    const int low = rounded(min_);
    const int high = std::max(low, rounded(max_));
    if (minimum() != low || maximum() != high)
        setRange(low, high);
    QProgressBar::setValue(std::clamp(rounded(value_), low, high));
}

} // namespace progress
