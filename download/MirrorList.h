#pragma once
// The "Mirrors=" value: further URLs of one file, tried in order after its first one. A comma
// separates them; a comma inside a URL is written %2C. Free of Windows headers.

#include <string>
#include <vector>

namespace netrefit {

constexpr size_t kMaxMirrors = 4;

// The URLs of text in order, blanks around each trimmed, empty items passed over. False (and
// urls empty) when more than kMaxMirrors remain.
bool SplitMirrorList(const std::string& text, std::vector<std::string>* urls);

// The value that SplitMirrorList reads back as urls.
std::string JoinMirrorList(const std::vector<std::string>& urls);

}  // namespace netrefit
