// URLs from the settings, the server file and redirects' Location headers on fuzzed bytes: split,
// and resolved against a base, with what a request relies on checked.

#include <cstdint>
#include <string>
#include <vector>

#include "download/MirrorList.h"
#include "download/UrlParts.h"

using namespace netrefit;

namespace {

void CheckSplit(const std::string& url) {
    UrlParts parts;
    UrlSplit split = SplitUrl(url, &parts);
    if (split == UrlSplit::NotAUrl) {
        return;
    }
    // What goes into the request line always starts a path, and a fetchable URL names a host
    // and a port.
    if (parts.object.empty() || parts.object[0] != '/' ||
        parts.object.find('#') != std::string::npos) {
        __builtin_trap();
    }
    if (split == UrlSplit::Ok && (parts.host.empty() || parts.host.size() > kMaxHostChars ||
                                  parts.port == 0 || parts.scheme == UrlScheme::Other)) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A base and a location: split at the first line break.
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t cut = input.find('\n');
    std::string base = input.substr(0, cut);
    std::string location = cut == std::string::npos ? std::string() : input.substr(cut + 1);
    CheckSplit(base);
    CheckSplit(location);
    std::string resolved = ResolveLocation(base, location);
    CheckSplit(resolved);
    // A mirror list read back from its own text is the same list.
    std::vector<std::string> mirrors;
    std::vector<std::string> again;
    if (SplitMirrorList(input, &mirrors) &&
        (!SplitMirrorList(JoinMirrorList(mirrors), &again) || again != mirrors)) {
        __builtin_trap();
    }
    // A location with a scheme stands for itself.
    UrlParts parts;
    if (!resolved.empty() && SplitUrl(location, &parts) != UrlSplit::NotAUrl &&
        resolved != location) {
        __builtin_trap();
    }
    return 0;
}
