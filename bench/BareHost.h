#pragma once

#include "merge/Host.h"
#include "platform/db/Data.h"

#include <string>

namespace bench {

// A host that draws nothing and has no events to handle: the merge's own cost.
class BareHost : public merge::Host {
public:
    explicit BareHost(std::string password) : password_(std::move(password)) {}

    db::Data& Data1() override { return data1_; }
    db::Data& Data2() override { return data2_; }
    void setProgressMin(float) override {}
    void setProgressMax(float) override {}
    void setProgressValue(float) override {}
    void setStatusText(const std::string&) override {}
    void repaint() override {}
    void yield() override {}
    bool abortRequested() const override { return false; }
    std::string password() const override { return password_; }
    std::int32_t& count(merge::Counter) override { return count_; }

private:
    db::Data data1_{"Data1"};
    db::Data data2_{"Data2"};
    std::string password_;
    std::int32_t count_ = 0;
};

} // namespace bench
