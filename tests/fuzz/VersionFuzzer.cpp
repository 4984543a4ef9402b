// Version texts of the server file on fuzzed bytes: parsed into records of every kind, formatted
// and shown into buffers of every size, compared, and parsed again from their own format.

#include <cstdint>
#include <cstring>
#include <string>

#include "inventory/ComponentKind.h"
#include "inventory/ComponentVersion.h"

using namespace netrefit;

namespace {

void ExpectSameParts(const ComponentVersion& a, const ComponentVersion& b) {
    if (a.Major() != b.Major() || a.Minor() != b.Minor() || a.Build() != b.Build() ||
        a.Revision() != b.Revision()) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Two texts, as a record and its reference: split at the first line break.
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t cut = input.find('\n');
    std::string first = input.substr(0, cut);
    std::string second = cut == std::string::npos ? std::string() : input.substr(cut + 1);
    int32_t kind = size > 0 ? data[0] % 16 : 0;  // 0 and 15 name no component

    ComponentVersion record(kind);
    ComponentVersion other(kind);
    record.ParseVersion(first.c_str());
    other.ParseVersion(second.c_str());
    if (record.IsNewerThan(other) + record.IsOlderThan(other) + record.IsSameAs(other) != 1 ||
        record.IsNewerThan(other) != other.IsOlderThan(record)) {
        __builtin_trap();
    }

    char text[40];
    for (size_t room = 1; room <= sizeof(text); ++room) {
        std::memset(text, 'x', sizeof(text));
        record.FormatVersion(text, room);
        record.DisplayName(text, room);
        if (std::memchr(text, '\0', sizeof(text)) == nullptr && text[0] != 'x') {
            __builtin_trap();
        }
    }
    record.FormatVersion(text, sizeof(text));
    ComponentVersion again(kind);
    again.ParseVersion(text);
    ExpectSameParts(record, again);

    ServerComponent server(kind);
    server.ParseVersion(first.c_str());
    server.SetRemotePath(first.c_str());
    server.SetSizeText(second.c_str());
    server.AddHotFix(second.c_str());
    char copy[16];
    server.GetRemotePath(copy, sizeof(copy));
    server.GetSizeText(copy, sizeof(copy));
    return 0;
}
