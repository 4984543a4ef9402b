#pragma once
// The request for the server information file "Version_<language>.ini".

#include <string>

#include "download/RemoteFile.h"

namespace netrefit {

// The entry that fetches the server information file from url: the server's fixed
// credentials, a nominal size for the wait dialog's bar, the name it shows.
DownloadEntry MakeServerFileEntry(const std::string& url);

}  // namespace netrefit
