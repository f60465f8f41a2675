#pragma once

#include "merge/Host.h"

#include <string>

namespace bench {

// A host that draws nothing and has no events to handle: the merge's own cost.
class BareHost : public merge::Host {
public:
    void setProgressMin(float) override {}
    void setProgressMax(float) override {}
    void setProgressValue(float) override {}
    void setStatusText(const std::string&) override {}
    void repaint() override {}
    void yield() override {}
    bool abortRequested() const override { return false; }
};

} // namespace bench
