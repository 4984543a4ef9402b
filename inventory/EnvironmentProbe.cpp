// Reads the facts of the running computer; the decisions over them live in SystemEnvironment.cpp.

#include <windows.h>

#include <vector>

#include "common/UniqueHandle.h"
#include "common/WindowsVersion.h"
#include "inventory/SystemEnvironment.h"

namespace netrefit {

namespace {

bool HasEnabledGroup(const TOKEN_GROUPS& groups, DWORD alias) {
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    SidHandle sid;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, alias, 0, 0, 0, 0,
                                  0, 0, sid.put())) {
        return false;
    }
    for (DWORD i = 0; i < groups.GroupCount; ++i) {
        const SID_AND_ATTRIBUTES& group = groups.Groups[i];
        if ((group.Attributes & SE_GROUP_ENABLED) != 0 && group.Sid != nullptr &&
            EqualSid(group.Sid, sid.get())) {
            return true;
        }
    }
    return false;
}

}  // namespace

int RightsLevelFromGroups(const TOKEN_GROUPS& groups) {
    if (HasEnabledGroup(groups, DOMAIN_ALIAS_RID_ADMINS)) {
        return kRightsAdministrator;
    }
    if (HasEnabledGroup(groups, DOMAIN_ALIAS_RID_POWER_USERS)) {
        return kRightsPowerUser;
    }
    if (HasEnabledGroup(groups, DOMAIN_ALIAS_RID_USERS)) {
        return kRightsUser;
    }
    return kRightsGuest;
}

bool HasDoubleByteCharacter(const char* text, uint32_t codePage) {
    if (text == nullptr) {
        return false;
    }
    // The first lead byte already belongs to a double-byte character (or is an illegal lone
    // lead byte at the end), so no trail byte needs classifying after it. Before it every byte
    // stands alone, and one that is no character of the code page is illegal. Only a definite
    // "no translation" counts: a system that does not know the flag cannot tell.
    for (const char* p = text; *p != '\0'; ++p) {
        if (IsDBCSLeadByteEx(codePage, static_cast<BYTE>(*p))) {
            return true;
        }
        WCHAR wide = 0;
        if (::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, p, 1, &wide, 1) == 0 &&
            ::GetLastError() == ERROR_NO_UNICODE_TRANSLATION) {
            return true;
        }
    }
    return false;
}

int32_t ProbeOsCode() {
    const WindowsVersion& version = RunningWindows();
    if (!version.known) {
        return kOsUnknown;
    }
    return OsCodeFromVersion(version.platform, version.major, version.minor, version.build,
                             version.servicePack);
}

uint16_t ProbeLanguage() {
    return NormaliseLanguage(GetSystemDefaultLangID());
}

int ProbeRightsLevel() {
    KernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        return kRightsUnknown;
    }
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenGroups, nullptr, 0, &size);
    if (size < sizeof(TOKEN_GROUPS)) {
        return kRightsUnknown;
    }
    // Pointer-sized elements keep the SID pointers inside the buffer aligned.
    std::vector<DWORD_PTR> buffer((size + sizeof(DWORD_PTR) - 1) / sizeof(DWORD_PTR));
    if (!GetTokenInformation(token.get(), TokenGroups, buffer.data(), size, &size)) {
        return kRightsUnknown;
    }
    return RightsLevelFromGroups(*reinterpret_cast<const TOKEN_GROUPS*>(buffer.data()));
}

int32_t ProbeDoubleByteUserName() {
    char name[256] = {};
    DWORD size = sizeof(name);
    if (!GetUserNameA(name, &size)) {
        return 0;
    }
    name[sizeof(name) - 1] = '\0';
    return HasDoubleByteCharacter(name, GetACP()) ? 1 : 0;
}

EnvironmentFacts ProbeEnvironmentFacts() {
    EnvironmentFacts facts;
    facts.osCode = ProbeOsCode();
    facts.language = ProbeLanguage();
    facts.isAdmin = ProbeRightsLevel() == kRightsAdministrator ? 1 : 0;
    facts.hasDoubleByteUserName = ProbeDoubleByteUserName();
    return facts;
}

}  // namespace netrefit
