#pragma once
// The tests' own certificate authority, trusted by the Wine prefix the tests run in.

#include <string>

namespace netrefit::test {

// Adds the DER certificate in derFile to the current user's "Root" store of the prefix, after
// removing earlier certificates of the same subject (an authority of an earlier run, whose key
// is gone). False when the file cannot be read or the store refuses it.
bool TrustTestAuthority(const std::string& derFile);

}  // namespace netrefit::test
