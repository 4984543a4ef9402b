#include "unzip/DiskSpaceGuard.h"

#include <windows.h>

#include <algorithm>

namespace netrefit {

bool QueryFreeSpace(const std::string& folder, uint64_t* available) {
    ULARGE_INTEGER caller;
    ULARGE_INTEGER total;
    ULARGE_INTEGER free;
    // An empty folder stands for the current directory, whose drive the call takes for none.
    if (!::GetDiskFreeSpaceExA(folder.empty() ? nullptr : folder.c_str(), &caller, &total, &free)) {
        return false;
    }
    *available = caller.QuadPart;
    return true;
}

bool DiskSpaceGuard::Ask(uint64_t* room) const {
    uint64_t available = 0;
    bool answered = query_ ? query_(folder_, &available) : QueryFreeSpace(folder_, &available);
    if (!answered) {
        return false;
    }
    *room = available > kMargin ? available - kMargin : 0;
    return true;
}

bool DiskSpaceGuard::BeginMember(uint64_t expected) {
    // Between members a fresh answer replaces the estimate: an overwritten file gave space back.
    if (!known_ || sinceAsked_ >= kRequeryBytes || expected > room_) {
        known_ = Ask(&room_);
        sinceAsked_ = 0;
        if (!known_) {
            return false;
        }
    }
    return expected <= room_;
}

bool DiskSpaceGuard::Allow(uint64_t count) {
    if (!known_) {
        return false;
    }
    if (sinceAsked_ >= kRequeryBytes) {
        // Within a member the smaller figure counts: the drive may not show the latest writes
        // yet, and other programs may have used space meanwhile.
        uint64_t fresh = 0;
        if (!Ask(&fresh)) {
            known_ = false;
            return false;
        }
        room_ = std::min(room_, fresh);
        sinceAsked_ = 0;
    }
    if (count > room_) {
        return false;
    }
    room_ -= count;
    sinceAsked_ += count;
    return true;
}

}  // namespace netrefit
