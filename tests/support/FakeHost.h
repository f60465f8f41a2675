#pragma once

#include "merge/Host.h"
#include "merge/Merger.h"
#include "platform/db/Data.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testing_support {

// A host without a window: it records what a merge showed, in order, and
// lets a test act at the n-th yield (counted from 1), as a click would. Its
// merger holds what the merges share.
class FakeHost : public merge::Host {
public:
    FakeHost() { merger.DBPassword = "Kor240853"; }

    merge::Merger merger{*this};
    db::Data& data1 = merger.Data1();
    db::Data& data2 = merger.Data2();
    std::string& dbPassword = merger.DBPassword;
    bool abort = false;
    std::function<void(int)> onYield;

    // "min 0", "max 3", "value 1", "status Updating ...", "repaint", "yield".
    std::vector<std::string> shown;
    int yields = 0;

    void setProgressMin(float value) override { shown.push_back("min " + number(value)); }
    void setProgressMax(float value) override { shown.push_back("max " + number(value)); }
    void setProgressValue(float value) override { shown.push_back("value " + number(value)); }
    void setStatusText(const std::string& text) override { shown.push_back("status " + text); }
    void repaint() override { shown.push_back("repaint"); }
    void yield() override {
        shown.push_back("yield");
        if (onYield)
            onYield(++yields);
    }
    bool abortRequested() const override { return abort; }

    std::int32_t counted(merge::Counter counter) { return merger.counts[counter]; }

    // The progress values in the order they were set.
    std::vector<std::string> progressValues() const {
        std::vector<std::string> values;
        for (const std::string& event : shown)
            if (event.rfind("value ", 0) == 0)
                values.push_back(event.substr(6));
        return values;
    }

private:
    static std::string number(float value) { return std::to_string(static_cast<long long>(value)); }
};

} // namespace testing_support
