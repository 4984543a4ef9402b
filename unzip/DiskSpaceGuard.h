#pragma once
// Keeps an extraction from filling the drive: what a member writes is weighed against the free
// space of the destination's drive, asked before a member when the last answer is stale or too
// small for it, and again every few MiB written, never per write.

#include <cstdint>
#include <functional>
#include <string>

namespace netrefit {

// Bytes available to the caller on the drive of folder; false when they cannot be read.
using FreeSpaceQuery = std::function<bool(const std::string& folder, uint64_t* available)>;

// GetDiskFreeSpaceExA on the folder (the current directory's drive when it is empty).
bool QueryFreeSpace(const std::string& folder, uint64_t* available);

class DiskSpaceGuard {
  public:
    static constexpr uint64_t kMargin = 64ull << 20;  // left free whatever an archive says
    // Written between two questions: a question costs about 0.1 ms under Wine, which every
    // 4 MiB would slow a fast stored extraction by several per cent.
    static constexpr uint64_t kRequeryBytes = 16ull << 20;

    DiskSpaceGuard() = default;

    void SetFolder(const std::string& folder) {
        folder_ = folder;
        known_ = false;
    }
    void SetQuery(FreeSpaceQuery query) {
        query_ = std::move(query);
        known_ = false;
    }

    // Before a member that writes at least `expected` bytes (0 when it does not say): false when
    // the drive cannot take them above the margin, or its free space cannot be read.
    bool BeginMember(uint64_t expected);
    // Before each write: false when `count` more bytes would take the drive below the margin.
    bool Allow(uint64_t count);

  private:
    bool Ask(uint64_t* room) const;

    std::string folder_;
    FreeSpaceQuery query_;
    bool known_ = false;       // room_ comes from an answer of the query
    uint64_t room_ = 0;        // bytes that may still be written above the margin
    uint64_t sinceAsked_ = 0;  // bytes allowed since the last answer
};

}  // namespace netrefit
