#pragma once
// The local settings file "Netrefit.ini": where the server is, which Windows versions and
// languages an upgrade supports, and which resource library carries each language's texts.

#include <cstdint>
#include <string>
#include <vector>

#include "signature/UpdateSignature.h"

namespace netrefit {

class SetupInfo {
  public:
    // Texts of [Setup] hold at most this many characters; [Resource] values too.
    static constexpr size_t kMaxValueChars = 254;
    // Longest settings-file path accepted; a longer one is refused rather than cut.
    static constexpr size_t kMaxPathChars = 261;

    SetupInfo() = default;
    virtual ~SetupInfo() = default;
    SetupInfo(const SetupInfo&) = delete;
    SetupInfo& operator=(const SetupInfo&) = delete;

    // Full path of the settings file; the private-profile functions look elsewhere for a bare name.
    void SetPath(const std::string& path) { path_ = path; }
    const std::string& Path() const { return path_; }

    // Longest PublicKey text: room for every key a list may hold.
    static constexpr size_t kMaxPublicKeyChars = 1023;
    // Longest Mirrors text: room for every base URL the list may hold.
    static constexpr size_t kMaxMirrorsChars = 1023;

    // Reads [Setup] Server, Version, SupportOS, SupportApplicationLang, SupportOSLang,
    // NonSupportOSLang, PublicKey and Mirrors in this order. A text equal to "ERROR" in any case
    // (the default of a missing key), a SupportOS of 0, a Server too long to keep whole, a
    // PublicKey that is present but no key list, a Mirrors list of more than kMaxMirrors URLs or
    // with one too long to keep whole, an empty or overlong path stop the reading with false, as
    // does a file whose key could be missed: a second [Setup], a second PublicKey, or one in
    // another section.
    // Fields read before the stop keep their values.
    bool ReadSetup();

    // [Setup] LogFile, the support log's path; "" when the key is missing. Read on its own,
    // before the rest, so that the log covers the reading of the settings too.
    static std::string ReadLogFile(const std::string& path);

    // [Resource] value for the language name, "" when the key (or the name) is missing.
    std::string ReadResource(const std::string& languageName) const;

    const std::string& Server() const { return server_; }
    const std::string& Version() const { return version_; }
    uint32_t SupportOS() const { return supportOS_; }
    const std::string& SupportApplicationLang() const { return supportApplicationLang_; }
    // Empty means every Windows language.
    const std::string& SupportOSLang() const { return supportOSLang_; }
    const std::string& NonSupportOSLang() const { return nonSupportOSLang_; }
    // The deployer's keys; empty when updates are not signed.
    const PublicKeyList& PublicKeys() const { return publicKeys_; }
    // Further base URLs of the server files, tried in order when Server's cannot be fetched.
    const std::vector<std::string>& Mirrors() const { return mirrors_; }

    // "Version_<language>.ini", the server information file of an application language.
    static std::string ServerFileName(const std::string& languageName);
    // Server, one "/" unless Server already ends with one, then ServerFileName(languageName).
    std::string ServerFileUrl(const std::string& languageName) const;
    // ServerFileUrl, then the same file under each of Mirrors in order.
    std::vector<std::string> ServerFileUrls(const std::string& languageName) const;

  private:
    std::string path_;
    std::string server_;
    std::string supportApplicationLang_;
    std::string supportOSLang_;
    std::string nonSupportOSLang_;
    std::string version_;
    uint32_t supportOS_ = 0;
    PublicKeyList publicKeys_;
    std::vector<std::string> mirrors_;
};

}  // namespace netrefit
