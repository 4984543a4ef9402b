#pragma once
// A file on the update server named by a URL, and one file to download.

#include <cstdint>
#include <string>
#include <vector>

namespace netrefit {

class RemoteFile {
  public:
    RemoteFile() = default;
    virtual ~RemoteFile() = default;
    RemoteFile(const RemoteFile&) = default;
    RemoteFile& operator=(const RemoteFile&) = default;

    // Stores the URL, canonicalises it and splits it into server, port, scheme, object (path
    // and query), credentials and fileName. Returns false, leaving the split fields empty, for
    // text that cannot be canonicalised, is no "scheme://" URL or does not fit the URL limits.
    // A URL that splits but cannot be fetched (another scheme than http and https, no host, a
    // bad port) is kept with what it names and is not Reachable: its transfer fails unsent.
    bool SetUrl(const std::string& url);
    void SetCredentials(const std::string& userName, const std::string& password);

    const std::string& Url() const { return url_; }
    const std::string& Server() const { return server_; }
    const std::string& Object() const { return object_; }
    const std::string& UserName() const { return userName_; }
    const std::string& Password() const { return password_; }
    const std::string& FileName() const { return fileName_; }
    uint16_t Port() const { return port_; }
    // https: the request goes over TLS.
    bool Secure() const { return secure_; }
    bool Reachable() const { return reachable_; }
    // Fetched from the server itself, past WinINet's cache and any proxy's: set for the server
    // file and its signature, whose stale copy would be a replay.
    void SetPastCaches(bool pastCaches) { pastCaches_ = pastCaches; }
    bool PastCaches() const { return pastCaches_; }

  private:
    void ClearCracked();

    std::string url_;
    std::string server_;
    std::string object_;
    std::string userName_;
    std::string password_;
    std::string fileName_;
    uint16_t port_ = 0;
    bool secure_ = false;
    bool reachable_ = false;
    bool pastCaches_ = false;
};

constexpr uint64_t kNoByteLimit = ~0ull;

class DownloadEntry : public RemoteFile {
  public:
    int32_t Size() const { return size_; }
    const std::string& Name() const { return name_; }
    const std::string& LocalPath() const { return localPath_; }
    uint8_t AlreadyDownloaded() const { return alreadyDownloaded_; }
    const std::string& Md5() const { return md5_; }
    // The SHA-256 the file must also match, 64 lowercase digits; empty when none is required.
    const std::string& Sha256() const { return sha256_; }
    // The module's size as the server file states it, 64-bit (Size is cut to 0 past 2^31 - 1).
    uint64_t DeclaredBytes() const { return declaredBytes_; }
    // The most bytes the response body may hold; kNoByteLimit leaves only the drive's free space
    // as its bound.
    uint64_t MaxBytes() const { return maxBytes_; }
    // Further URLs of the same file, tried in order when the URL fails (at most four).
    const std::vector<std::string>& Mirrors() const { return mirrors_; }
    // Checked by its digests: fetched into a partial file beside its name, retried and resumed.
    bool Resumable() const { return !md5_.empty() && !localPath_.empty(); }

    void SetSize(int32_t size) { size_ = size; }
    void SetName(const std::string& name) { name_ = name; }
    void SetLocalPath(const std::string& localPath) { localPath_ = localPath; }
    void SetAlreadyDownloaded(uint8_t flag) { alreadyDownloaded_ = flag; }
    void SetMd5(const std::string& md5) { md5_ = md5; }
    void SetSha256(const std::string& sha256) { sha256_ = sha256; }
    void SetDeclaredBytes(uint64_t bytes) { declaredBytes_ = bytes; }
    void SetMaxBytes(uint64_t maxBytes) { maxBytes_ = maxBytes; }
    void SetMirrors(const std::vector<std::string>& urls) { mirrors_ = urls; }

  private:
    int32_t size_ = 0;
    std::string name_;
    std::string localPath_;
    uint8_t alreadyDownloaded_ = 0;
    std::string md5_;
    std::string sha256_;
    uint64_t declaredBytes_ = 0;
    uint64_t maxBytes_ = kNoByteLimit;
    std::vector<std::string> mirrors_;
};

using DownloadList = std::vector<DownloadEntry>;

}  // namespace netrefit
