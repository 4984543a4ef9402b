#include "common/SecurityDescriptor.h"

#include <vector>

#include "common/UniqueHandle.h"

namespace netrefit {
namespace {

constexpr DWORD kSddlRevision = 1;

using ConvertSddlFn = BOOL(WINAPI*)(LPCSTR, DWORD, PSECURITY_DESCRIPTOR*, PULONG);
using ConvertSidFn = BOOL(WINAPI*)(PSID, LPSTR*);

}  // namespace

FARPROC AdvapiFunction(const char* name) {
    HMODULE advapi = ::GetModuleHandleA("advapi32.dll");
    return advapi ? ::GetProcAddress(advapi, name) : nullptr;
}

SddlDescriptor::SddlDescriptor(const std::string& sddl) {
    auto convert = reinterpret_cast<ConvertSddlFn>(reinterpret_cast<void*>(
        AdvapiFunction("ConvertStringSecurityDescriptorToSecurityDescriptorA")));
    if (convert == nullptr || !convert(sddl.c_str(), kSddlRevision, &descriptor_, nullptr)) {
        descriptor_ = nullptr;
    }
}

SddlDescriptor::~SddlDescriptor() {
    if (descriptor_ != nullptr) {
        ::LocalFree(descriptor_);
    }
}

std::string CurrentUserSidText() {
    auto convert = reinterpret_cast<ConvertSidFn>(
        reinterpret_cast<void*>(AdvapiFunction("ConvertSidToStringSidA")));
    HANDLE raw = nullptr;
    if (convert == nullptr || !::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) {
        return std::string();
    }
    KernelHandle token(raw);
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size != 0 ? size : 1);
    char* text = nullptr;
    if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, user.data(), size, &size) ||
        !convert(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text)) {
        return std::string();
    }
    std::string sid = text;
    ::LocalFree(text);
    return sid;
}

}  // namespace netrefit
