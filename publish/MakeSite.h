#pragma once
// "make": the server information files and the site's modules from a description and a folder
// of archives.

#include <string>

namespace netrefit {

struct MakeOptions {
    std::string description;  // the description INI file
    std::string modules;      // the folder of archives
    std::string url;          // base URL the site is served under
    std::string out;          // the site's folder
    std::string password;     // of encrypted archives, to walk them
};

// 0 when the site was written, 1 when problems were found (each one a line on standard
// error, nothing written).
int RunMake(const MakeOptions& options);

}  // namespace netrefit
