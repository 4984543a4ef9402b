#pragma once
// The one GET every fetch sends, to the URL's own port and over TLS for https. WinINet does
// not follow redirects itself (RedirectChain decides), and certificate errors are never
// ignored: a server the system does not trust is a failed send.

#include <windows.h>
#include <wininet.h>

#include <string>

#include "download/RemoteFile.h"

namespace netrefit {

HINTERNET OpenInternetSession();
HINTERNET ConnectToServer(HINTERNET session, const RemoteFile& target);
HINTERNET OpenGetRequest(HINTERNET connection, const RemoteFile& target);

// The answer's status code; 0 when there is none.
int QueryStatusCode(HINTERNET request);
// The answer's Location header; empty when there is none or it is too long for a URL.
std::string QueryLocation(HINTERNET request);

}  // namespace netrefit
