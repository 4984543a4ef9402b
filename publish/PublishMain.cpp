// NetrefitPublish: the deployer's side of an update site. Makes the server information files
// from a folder of archives, checks a live site as the client fetches it, and says what a PC in
// a given state will be offered, all with the client's own code.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "publish/DryRun.h"
#include "publish/MakeSite.h"
#include "publish/VerifySite.h"

namespace {

const char kUsage[] =
    "NetrefitPublish: make, check and try out a Netrefit update site.\n"
    "\n"
    "  NetrefitPublish make --description FILE --modules DIR --url BASE_URL --out DIR\n"
    "                       [--password TEXT]\n"
    "      Writes Version_<Language>.ini for each language of the description and copies the\n"
    "      archives beside them; refuses, writing nothing, whatever the client would not take.\n"
    "  NetrefitPublish verify --url BASE_URL [--lang English] [--password TEXT]\n"
    "      Fetches the server information file and every module it names as the client does\n"
    "      and checks status, size, MD5, the archive walk and the one \"Setup.exe\".\n"
    "  NetrefitPublish dry-run --server FILE_OR_URL (--installed STATE_FILE | --from-registry)\n"
    "                          [--settings Netrefit.ini]\n"
    "      Prints what a PC in that state is offered: \"upgrade\", \"reinstall\" or\n"
    "      \"refused NNN\" (the client's message), then display name, size and URL of each "
    "module,\n"
    "      separated by tabs, in the client's order.\n"
    "\n"
    "  --password opens encrypted archives while they are walked.\n"
    "  Exit code: 0 all is well, 1 problems found (or a refusal), 2 bad usage.\n";

int Usage(const char* problem) {
    if (problem != nullptr) {
        std::fprintf(stderr, "%s\n\n", problem);
    }
    std::fputs(kUsage, stderr);
    return 2;
}

// "--name value" pairs, plus the flags in flags; false for anything else.
bool ParseOptions(int argc,
                  char** argv,
                  const char* const* valued,
                  const char* const* flags,
                  std::map<std::string, std::string>* options,
                  std::string* problem) {
    for (int i = 2; i < argc; ++i) {
        std::string name = argv[i];
        bool known = false;
        for (const char* const* flag = flags; *flag != nullptr; ++flag) {
            if (name == *flag) {
                (*options)[name] = "1";
                known = true;
            }
        }
        for (const char* const* key = valued; *key != nullptr && !known; ++key) {
            if (name == *key) {
                if (i + 1 >= argc) {
                    *problem = name + " needs a value";
                    return false;
                }
                (*options)[name] = argv[++i];
                known = true;
            }
        }
        if (!known) {
            *problem = "unknown option " + name;
            return false;
        }
    }
    return true;
}

bool Missing(const std::map<std::string, std::string>& options,
             const char* const* required,
             std::string* problem) {
    for (const char* const* key = required; *key != nullptr; ++key) {
        if (options.count(*key) == 0 || options.at(*key).empty()) {
            *problem = std::string(*key) + " is required";
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return Usage("no command given");
    }
    std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    std::map<std::string, std::string> options;
    std::string problem;
    static const char* const kNone[] = {nullptr};
    if (command == "make") {
        static const char* const valued[] = {"--description", "--modules",  "--url",
                                             "--out",         "--password", nullptr};
        static const char* const required[] = {"--description", "--modules", "--url", "--out",
                                               nullptr};
        if (!ParseOptions(argc, argv, valued, kNone, &options, &problem) ||
            Missing(options, required, &problem)) {
            return Usage(problem.c_str());
        }
        netrefit::MakeOptions make;
        make.description = options["--description"];
        make.modules = options["--modules"];
        make.url = options["--url"];
        make.out = options["--out"];
        make.password = options["--password"];
        return netrefit::RunMake(make);
    }
    if (command == "verify") {
        static const char* const valued[] = {"--url", "--lang", "--password", nullptr};
        static const char* const required[] = {"--url", nullptr};
        if (!ParseOptions(argc, argv, valued, kNone, &options, &problem) ||
            Missing(options, required, &problem)) {
            return Usage(problem.c_str());
        }
        netrefit::VerifyOptions verify;
        verify.url = options["--url"];
        if (options.count("--lang")) {
            verify.language = options["--lang"];
        }
        verify.password = options["--password"];
        return netrefit::RunVerify(verify);
    }
    if (command == "dry-run") {
        static const char* const valued[] = {"--server", "--installed", "--settings", nullptr};
        static const char* const flags[] = {"--from-registry", nullptr};
        static const char* const required[] = {"--server", nullptr};
        if (!ParseOptions(argc, argv, valued, flags, &options, &problem) ||
            Missing(options, required, &problem)) {
            return Usage(problem.c_str());
        }
        bool fromRegistry = options.count("--from-registry") != 0;
        if (fromRegistry == (options.count("--installed") != 0)) {
            return Usage("give either --installed STATE_FILE or --from-registry");
        }
        netrefit::DryRunOptions dryRun;
        dryRun.server = options["--server"];
        dryRun.installed = options["--installed"];
        dryRun.fromRegistry = fromRegistry;
        dryRun.settings = options["--settings"];
        return netrefit::RunDryRun(dryRun);
    }
    return Usage(("unknown command " + command).c_str());
}
