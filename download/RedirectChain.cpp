#include "download/RedirectChain.h"

#include <cctype>

#include "download/UrlParts.h"

namespace netrefit {
namespace {

bool SameHost(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool IsRedirectStatus(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

RedirectChain::RedirectChain(const RemoteFile& first)
    : firstHost_(first.Server()), userName_(first.UserName()), password_(first.Password()) {
    target_.SetUrl(first.Url());
    target_.SetCredentials(userName_, password_);
    target_.SetPastCaches(first.PastCaches());
}

RedirectStep RedirectChain::Next(int status, const std::string& location) {
    if (!IsRedirectStatus(status)) {
        return RedirectStep::Final;
    }
    if (followed_ == kMaxRedirects) {
        return RedirectStep::Refused;
    }
    RemoteFile next;
    if (!next.SetUrl(ResolveLocation(target_.Url(), location)) || !next.Reachable() ||
        (target_.Secure() && !next.Secure())) {
        return RedirectStep::Refused;
    }
    // Another host gets only what its own URL carries.
    if (SameHost(next.Server(), firstHost_)) {
        next.SetCredentials(userName_, password_);
    }
    next.SetPastCaches(target_.PastCaches());
    target_ = next;
    ++followed_;
    return RedirectStep::Follow;
}

}  // namespace netrefit
