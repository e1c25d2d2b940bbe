#include "CommandView.h"

#include <algorithm>

void CommandView::SetPosition(int value) {
    position_ = value;
    const int span = maximum_ - minimum_;
    int percent =
        span > 0 ? static_cast<int>((static_cast<long long>(value) - minimum_) * 100 / span) : 0;
    percent = std::clamp(percent, 0, 100);
    if (percent == shownPercent_)
        return;
    const int before = shownPercent_;
    shownPercent_ = percent;
    PercentChanged(before);
}

bool CommandView::GivenPassword(std::string& entered) {
    if (!options_.passwordGiven)
        return false;
    entered = options_.password;
    passwordEntered_ = true;
    return true;
}

bool CommandView::GivenCodeplugPassword(std::string& entered) const {
    if (!options_.codeplugPasswordGiven)
        return false;
    entered = options_.codeplugPassword;
    return true;
}
