#pragma once

#include <QProgressBar>

namespace progress {

// A progress bar whose Min, Max and Value are single-precision numbers, as
// the merges set them. Qt's bar shows them rounded; a Value outside Min..Max
// is shown at the nearer end. Qt draws the bar only when its picture changes,
// so setting Value once per record costs little.
class ProgressBar : public QProgressBar {
public:
    explicit ProgressBar(QWidget* parent = nullptr);

    float Min() const { return min_; }
    float Max() const { return max_; }
    float Value() const { return value_; }
    void setMin(float min);
    void setMax(float max);
    void setValue(float value);

private:
    void applyToBar();

    float min_ = 0;
    float max_ = 100;
    float value_ = 0;
};

} // namespace progress
