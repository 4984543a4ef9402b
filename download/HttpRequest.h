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
// Every connect, send and receive of the handle gives up after ms without progress. Set on the
// request too: Wine's WinINet takes the send and receive limits from there only.
void SetStallTimeouts(HINTERNET handle, DWORD ms);
HINTERNET ConnectToServer(HINTERNET session, const RemoteFile& target);
HINTERNET OpenGetRequest(HINTERNET connection, const RemoteFile& target);

// The answer's status code; 0 when there is none.
int QueryStatusCode(HINTERNET request);
// The answer's Location header; empty when there is none or it is too long for a URL.
std::string QueryLocation(HINTERNET request);
// A header of the answer (an HTTP_QUERY_ code); empty when absent or longer than a URL.
std::string QueryHeader(HINTERNET request, DWORD query);
// What tells this answer's body from a changed one in If-Range: its strong ETag, else its
// Last-Modified; empty when it has neither.
std::string QueryValidator(HINTERNET request);
// Whether a failed send's error is the server's certificate, which no retry mends.
bool IsCertificateError(DWORD error);

}  // namespace netrefit
