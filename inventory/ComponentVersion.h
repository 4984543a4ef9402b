#pragma once
// One component's four-part version and hot-fix requirements.

#include <cstdint>
#include <string>
#include <vector>

#include "inventory/ComponentKind.h"

namespace netrefit {

using TextList = std::vector<std::string>;

class ComponentVersion {
  public:
    explicit ComponentVersion(int32_t kind) : kind_(kind) {}
    virtual ~ComponentVersion() = default;

    virtual void ClearHotFixes();
    virtual int32_t Kind() const;
    // "<name> <version>"; returns 1, or 0 (buffer untouched) when it does not fit.
    virtual int DisplayName(char* buffer, size_t size) const;
    virtual void GetVersion(uint16_t* major,
                            uint16_t* minor,
                            uint16_t* build,
                            uint16_t* revision) const;
    // "%d.%d.%d.%d", copied only when it fits with its NUL.
    virtual void FormatVersion(char* buffer, size_t size) const;
    virtual uint16_t Major() const;
    virtual uint16_t Minor() const;
    virtual uint16_t Build() const;
    virtual uint16_t Revision() const;
    virtual uint16_t Language() const;
    virtual size_t HotFixCount() const;
    virtual void CopyHotFixes(TextList& list) const;
    virtual std::string HotFix(size_t index) const;
    virtual void SetVersion(uint32_t major, uint32_t minor, uint32_t build, uint32_t revision);
    // Reads "%d.%d.%d.%d"; parts after the first mismatch are 0; each part keeps its low 16 bits
    // (one beyond the range of an int wraps in 32 bits first).
    virtual void ParseVersion(const char* text);
    virtual void SetMajor(uint32_t value);
    virtual void SetMinor(uint32_t value);
    virtual void SetBuild(uint32_t value);
    virtual void SetRevision(uint32_t value);
    virtual void SetLanguage(uint32_t value);
    virtual void AddHotFixes(const TextList& list);
    virtual void AddHotFix(const char* text);

    // 1 or 0; records of different kinds never compare. MDAC compares major and minor/10 only.
    int IsOlderThan(const ComponentVersion& other) const;
    int IsNewerThan(const ComponentVersion& other) const;
    int IsSameAs(const ComponentVersion& other) const;

  private:
    // Negative, zero or positive as this record is older, the same or newer under its kind's rule.
    int Compare(const ComponentVersion& other) const;

    int32_t kind_;
    uint16_t major_ = 0;
    uint16_t minor_ = 0;
    uint16_t build_ = 0;
    uint16_t revision_ = 0;
    uint16_t language_ = 1033;
    TextList hotFixes_;
};

// The server's record of a component: its version plus the module's path, size and digest texts.
class ServerComponent : public ComponentVersion {
  public:
    explicit ServerComponent(int32_t kind) : ComponentVersion(kind) {}

    // Getters copy into the caller's buffer and return 1 when the text and its NUL fit, else 0.
    virtual int GetRemotePath(char* buffer, size_t size) const;
    virtual int GetSizeText(char* buffer, size_t size) const;
    virtual int GetMd5Text(char* buffer, size_t size) const;
    virtual void SetRemotePath(const char* text);
    virtual void SetSizeText(const char* text);
    virtual void SetMd5Text(const char* text);

    const std::string& RemotePath() const { return remotePath_; }
    const std::string& SizeText() const { return sizeText_; }
    const std::string& Md5Text() const { return md5Text_; }
    // SHA256 of the section as the file gives it; empty when the section has none.
    const std::string& Sha256Text() const { return sha256Text_; }
    void SetSha256Text(const std::string& text) { sha256Text_ = text; }
    // Further URLs of the module, in the order they are tried after its path.
    const TextList& Mirrors() const { return mirrors_; }
    void SetMirrors(const TextList& urls) { mirrors_ = urls; }

  private:
    std::string remotePath_;
    TextList mirrors_;
    std::string sizeText_;
    std::string md5Text_;
    std::string sha256Text_;
};

}  // namespace netrefit
