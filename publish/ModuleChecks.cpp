#include "publish/ModuleChecks.h"

#include <windows.h>

#include <cstdio>

#include "download/MirrorList.h"
#include "inventory/DownloadDecision.h"
#include "inventory/ServerCatalog.h"
#include "publish/PublishFiles.h"
#include "signature/UpdateSignature.h"

namespace netrefit {

bool IsClientVersion(const std::string& text) {
    if (text.empty() || text.size() > ServerCatalog::kMaxVersionChars) {
        return false;
    }
    int parts = 1;
    uint32_t value = 0;
    bool digits = false;
    for (char c : text) {
        if (c == '.') {
            if (!digits || ++parts > 4) {
                return false;
            }
            value = 0;
            digits = false;
        } else if (c >= '0' && c <= '9') {
            value = value * 10 + static_cast<uint32_t>(c - '0');
            if (value > 65535) {
                return false;
            }
            digits = true;
        } else {
            return false;
        }
    }
    return digits;
}

std::string ClientDownloadFolder() {
    char temp[MAX_PATH + 1] = "";
    DWORD length = ::GetTempPathA(sizeof(temp), temp);
    if (length == 0 || length >= sizeof(temp)) {
        return "C:\\Netrefit\\";
    }
    return WithBackslash(temp) + "Netrefit\\";
}

std::string EntryRefusal(const ServerComponent& record, DownloadEntry* entry) {
    if (MakeDownloadEntry(*entry, record, ClientDownloadFolder())) {
        return std::string();
    }
    const std::string& url = record.RemotePath();
    char text[128];
    if (url.size() > kMaxEntryUrlChars) {
        std::snprintf(text, sizeof(text), "URL of %u characters; the client takes at most %u",
                      static_cast<unsigned>(url.size()), static_cast<unsigned>(kMaxEntryUrlChars));
        return text;
    }
    if (entry->Server().empty()) {
        return "URL \"" + url + "\" is not one the client can request";
    }
    return "file name \"" + entry->FileName() + "\" is refused by the client";
}

bool ReadModuleMirrors(const std::string& serverFile,
                       const char* section,
                       std::vector<std::string>* urls) {
    return SplitMirrorList(ProfileText(serverFile, section, "Mirrors", 4095), urls);
}

bool IsLowercaseDigest(const std::string& text) {
    return IsLowercaseHex(text, 32);
}

std::string DisplayNameOf(const ComponentVersion& record) {
    char name[255] = "";
    record.DisplayName(name, sizeof(name));
    return name;
}

}  // namespace netrefit
