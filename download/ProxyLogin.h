#pragma once
// A proxy of the system's settings that asks for a login (status 407): Windows' own proxy login
// prompt, once per run, and the login typed there on every later request of the run.

#include <windows.h>
#include <wininet.h>

#include <string>

namespace netrefit {

// Sends request with headers (empty for none) as HttpSendRequestA does. The first 407 of the run
// shows the prompt (owned by a window of this process) and sends again with what the user typed;
// Cancel there, a second 407 or a 407 after the prompt was shown once leave the 407 answer
// standing, which the caller fails as any status but 200.
BOOL SendWithProxyLogin(HINTERNET request, const std::string& headers);

}  // namespace netrefit
