#pragma once
// Owner of one WinINet handle (session, connection or request). Kept out of the common handle
// owners so that only what talks HTTP pulls WinINet in.

#include <windows.h>
#include <wininet.h>

#include "common/UniqueHandle.h"

namespace netrefit {

struct InternetHandleTraits {
    static HINTERNET Invalid() { return nullptr; }
    static void Close(HINTERNET h) { ::InternetCloseHandle(h); }
};

using InternetHandle = UniqueHandle<HINTERNET, InternetHandleTraits>;

}  // namespace netrefit
