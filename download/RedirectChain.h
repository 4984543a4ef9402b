#pragma once
// Where a request goes next after a redirect. Redirects are followed here rather than by
// WinINet, which would also follow one from https to http.

#include <string>

#include "download/RemoteFile.h"

namespace netrefit {

constexpr int kMaxRedirects = 10;

enum class RedirectStep { Final, Follow, Refused };

class RedirectChain {
  public:
    // Starts at first's URL with first's credentials, which go only to first's host.
    explicit RedirectChain(const RemoteFile& first);

    const RemoteFile& Target() const { return target_; }
    int Followed() const { return followed_; }

    // What an answer to Target() means. Final: not a redirect (its status decides). Follow:
    // Target() is now where location points. Refused: a redirect without a location, past the
    // limit, to a URL that cannot be fetched, or from https to anything but https.
    RedirectStep Next(int status, const std::string& location);

  private:
    std::string firstHost_;
    std::string userName_;
    std::string password_;
    RemoteFile target_;
    int followed_ = 0;
};

bool IsRedirectStatus(int status);

}  // namespace netrefit
