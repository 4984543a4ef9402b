#include "app/WorkFolder.h"

#include <windows.h>

#include <shlobj.h>

#include "common/FileStream.h"
#include "common/SecurityDescriptor.h"
#include "common/WindowsVersion.h"
#include "inventory/MachineProbes.h"

namespace netrefit {

const char kProtectedFolderSddl[] = "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

namespace {

// TokenElevation, a TOKEN_INFORMATION_CLASS value of Vista.
constexpr int kTokenElevation = 20;

using SetFileSecurityFn = BOOL(WINAPI*)(LPCSTR, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR);

// The entry itself, never what a trailing backslash would look up through a link.
std::string WithoutBackslash(std::string path) {
    while (path.size() > 3 && path.back() == '\\') {
        path.pop_back();
    }
    return path;
}

bool IsFolder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::string TemporaryWorkFolder() {
    char folder[MAX_PATH] = "";
    DWORD length = ::GetTempPathA(sizeof(folder), folder);
    DWORD attributes = length != 0 && length < sizeof(folder) ? ::GetFileAttributesA(folder)
                                                              : INVALID_FILE_ATTRIBUTES;
    // The user's own folder, wherever it leads: only that it is one is asked.
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return std::string();
    }
    std::string path(folder, length);
    if (path.back() != '\\') {
        path += '\\';
    }
    // Inside it, a link in the work folder's place is not taken.
    if (IsLinkPath(path + "Netrefit")) {
        return std::string();
    }
    return path + "Netrefit\\";
}

std::string ProtectedWorkFolder() {
    char folder[MAX_PATH] = "";
    if (!GetSpecialFolder(CSIDL_COMMON_APPDATA, folder, sizeof(folder))) {
        return std::string();
    }
    std::string path = std::string(folder) + "\\Netrefit\\";
    return MakeProtectedFolder(path) ? path : std::string();
}

}  // namespace

TokenKind CurrentTokenKind() {
    if (!IsNtAtLeast(RunningWindows(), 6)) {
        return TokenKind::Plain;
    }
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) {
        return TokenKind::Plain;
    }
    KernelHandle token(raw);
    DWORD elevated = 0;
    DWORD size = 0;
    if (!::GetTokenInformation(token.get(), static_cast<TOKEN_INFORMATION_CLASS>(kTokenElevation),
                               &elevated, sizeof(elevated), &size)) {
        return TokenKind::Plain;
    }
    return elevated != 0 ? TokenKind::Elevated : TokenKind::Plain;
}

std::string ChooseWorkFolder(TokenKind kind) {
    std::string folder =
        kind == TokenKind::Elevated ? ProtectedWorkFolder() : TemporaryWorkFolder();
    return folder.size() < MAX_PATH ? folder : std::string();
}

bool MakeProtectedFolder(const std::string& path) {
    std::string folder = WithoutBackslash(path);
    SddlDescriptor descriptor(kProtectedFolderSddl);
    if (descriptor.get() == nullptr) {
        return false;
    }
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.get(), FALSE};
    if (::CreateDirectoryA(folder.c_str(), &attributes)) {
        return true;
    }
    // One made before, by this program or by anyone else: its owner and access are set again,
    // whatever they were.
    auto setSecurity = reinterpret_cast<SetFileSecurityFn>(
        reinterpret_cast<void*>(AdvapiFunction("SetFileSecurityA")));
    return IsFolder(::GetFileAttributesA(folder.c_str())) && setSecurity != nullptr &&
           setSecurity(folder.c_str(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                       descriptor.get());
}

FileHandle HoldFolder(const std::string& folder, bool* required) {
    *required = RunningWindows().platform == VER_PLATFORM_WIN32_NT;
    if (!IsFolder(::GetFileAttributesA(WithoutBackslash(folder).c_str()))) {
        return FileHandle();
    }
    FileHandle held(::CreateFileA(
        folder.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    if (held && (!::GetFileInformationByHandle(held.get(), &information) ||
                 !IsFolder(information.dwFileAttributes))) {
        held.reset();
    }
    return held;
}

}  // namespace netrefit
