#pragma once
// The latest signing time this PC has accepted for each signed server file, kept between runs, so
// that an older signed file, still before its expiry date, cannot be served again in place of a
// newer one (which could install older modules or run an older starter).

#include <string>

namespace netrefit {

// "YYYY-MM-DDTHH:MM:SSZ", the form [Signature] Signed= takes: UTC, fixed width, so that the
// order of the texts is the order of the times.
bool IsSigningTime(const std::string& text);

class SigningRecord {
  public:
    // The record file; an empty path keeps no record (every file is a first contact).
    explicit SigningRecord(std::string path) : path_(std::move(path)) {}

    // Whether a file fetched from url and signed at signedAt (a signing time, or "" for a file
    // without one) may be used: not older than the latest accepted from url. A newer time is
    // recorded as the latest; a file without one never replaces a time.
    bool Accept(const std::string& url, const std::string& signedAt);
    // The latest time accepted from url; "" when none.
    std::string Latest(const std::string& url) const;

  private:
    std::string path_;
};

}  // namespace netrefit
