// NetrefitPublish: the deployer's side of an update site. Makes the server information files
// from a folder of archives, checks a live site as the client fetches it, and says what a PC in
// a given state will be offered, all with the client's own code.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "download/MirrorList.h"
#include "inventory/SetupInfo.h"
#include "publish/DryRun.h"
#include "publish/KeyCommands.h"
#include "publish/MakeSite.h"
#include "publish/VerifySite.h"
#include "resources/ResourceIds.h"

namespace {

const char kUsage[] =
    "NetrefitPublish: make, check and try out a Netrefit update site.\n"
    "\n"
    "  NetrefitPublish make --description FILE --modules DIR --url BASE_URL --out DIR\n"
    "                       [--password TEXT] [--key KEY_FILE [--expires YYYY-MM-DD]]\n"
    "                       [--mirror BASE_URL]...\n"
    "      Writes Version_<Language>.ini for each language of the description and copies the\n"
    "      archives beside them; refuses, writing nothing, whatever the client would not take.\n"
    "      Each --mirror (at most 4, in the order given) is a further base URL serving the\n"
    "      same archives: every module gets Mirrors= with its URL under each.\n"
    "      With --key each module gets its SHA256, each server file a [Signature] Expires=\n"
    "      (default: 90 days from today, UTC) and a signature file Version_<Language>.ini.sig.\n"
    "  NetrefitPublish verify --url BASE_URL [--lang English] [--password TEXT]\n"
    "                         [--public-key HEX[,HEX...]] [--settings Netrefit.ini]\n"
    "      Fetches the server information file and every module it names as the client does\n"
    "      and checks status, size, MD5, SHA256 where given, the archive walk and the one\n"
    "      \"Setup.exe\"; every mirror's copy too, a row each. With --public-key also the "
    "signature file, the expiry date and a\n"
    "      SHA256 for every module, as a client with these keys requires them. --settings\n"
    "      says whether that Netrefit.ini makes a signed client and takes its keys when\n"
    "      --public-key is not given.\n"
    "  NetrefitPublish dry-run --server FILE_OR_URL (--installed STATE_FILE | --from-registry)\n"
    "                          [--settings Netrefit.ini] [--public-key HEX[,HEX...]]\n"
    "      Prints what a PC in that state is offered: \"upgrade\", \"reinstall\" or\n"
    "      \"refused NNN\" (the client's message), then display name, size and URL of each "
    "module,\n"
    "      separated by tabs, in the client's order. With keys (--public-key, else the\n"
    "      settings' PublicKey=) the server file's signature file (FILE.sig, or the URL and\n"
    "      \".sig\") is checked as the client checks it. For a URL, the settings' Mirrors=\n"
    "      are tried after it as the client tries them; standard error says which URL served\n"
    "      the server file, its signature file and (answering first) each module.\n"
    "  NetrefitPublish keygen --out KEY_FILE\n"
    "      Makes a new key pair, writes the private key to KEY_FILE (never over an existing\n"
    "      file; keep it secret) and prints the line \"PublicKey=...\" for Netrefit.ini's "
    "[Setup].\n"
    "  NetrefitPublish check-signature --public-key HEX[,HEX...] --signature HEX --file FILE\n"
    "      Exit code 0 when the signature (128 hexadecimal digits) is one of the keys' over the\n"
    "      file's bytes, 1 when not.\n"
    "\n"
    "  --password opens encrypted archives while they are walked.\n"
    "  Exit code: 0 all is well, 1 problems found (or a refusal), 2 bad usage.\n";

using Options = std::map<std::string, std::string>;
const char* const kNone[] = {nullptr};

int Usage(const char* problem) {
    if (problem != nullptr) {
        std::fprintf(stderr, "%s\n\n", problem);
    }
    std::fputs(kUsage, stderr);
    return 2;
}

// Options that may be given more than once: their values are kept one per line.
const char* const kRepeatable[] = {"--mirror", nullptr};

bool IsRepeatable(const std::string& name) {
    for (const char* const* key = kRepeatable; *key != nullptr; ++key) {
        if (name == *key) {
            return true;
        }
    }
    return false;
}

// The values of a repeatable option, in the order given.
std::vector<std::string> Values(Options& options, const char* name) {
    std::vector<std::string> values;
    const std::string& text = options[name];
    size_t begin = 0;
    while (!text.empty() && begin <= text.size()) {
        size_t end = std::min(text.find('\n', begin), text.size());
        values.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    return values;
}

// "--name value" pairs, plus the flags in flags; false for anything else.
bool ParseOptions(int argc,
                  char** argv,
                  const char* const* valued,
                  const char* const* flags,
                  Options* options,
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
                std::string& value = (*options)[name];
                bool again = IsRepeatable(name) && !value.empty();
                value = again ? value + "\n" + argv[++i] : std::string(argv[++i]);
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

bool Missing(const Options& options, const char* const* required, std::string* problem) {
    for (const char* const* key = required; *key != nullptr; ++key) {
        if (options.count(*key) == 0 || options.at(*key).empty()) {
            *problem = std::string(*key) + " is required";
            return true;
        }
    }
    return false;
}

// An optional "--public-key": no keys when it is not given.
bool ReadKeys(Options& options, netrefit::PublicKeyList* keys, std::string* problem) {
    return options.count("--public-key") == 0 ||
           netrefit::ParseKeyOption(options["--public-key"], keys, problem);
}

int Make(Options& options) {
    std::string problem;
    netrefit::MakeOptions make;
    make.description = options["--description"];
    make.modules = options["--modules"];
    make.url = options["--url"];
    make.out = options["--out"];
    make.password = options["--password"];
    make.mirrors = Values(options, "--mirror");
    if (make.mirrors.size() > netrefit::kMaxMirrors) {
        return Usage("--mirror may be given at most 4 times");
    }
    if (options.count("--key") != 0 && options["--key"].empty()) {
        return Usage("--key needs a file");
    }
    make.keyFile = options["--key"];
    if (make.keyFile.empty() && options.count("--expires") != 0) {
        return Usage("--expires needs --key");
    }
    if (!make.keyFile.empty() &&
        !netrefit::ParseExpiresOption(options["--expires"], &make.expires, &problem)) {
        return Usage(problem.c_str());
    }
    return netrefit::RunMake(make);
}

int Verify(Options& options) {
    std::string problem;
    netrefit::VerifyOptions verify;
    verify.url = options["--url"];
    if (options.count("--lang")) {
        verify.language = options["--lang"];
    }
    verify.password = options["--password"];
    if (!ReadKeys(options, &verify.keys, &problem)) {
        return Usage(problem.c_str());
    }
    if (options.count("--settings") != 0) {
        netrefit::SetupInfo setup;
        if (!netrefit::ReadClientSettings(options["--settings"], &setup)) {
            std::printf("refused %u\n", static_cast<unsigned>(IDS_INIT_FAILED_001));
            return 1;
        }
        if (verify.keys.empty()) {
            verify.keys = setup.PublicKeys();
        }
    }
    return netrefit::RunVerify(verify);
}

int DryRun(Options& options) {
    std::string problem;
    bool fromRegistry = options.count("--from-registry") != 0;
    if (fromRegistry == (options.count("--installed") != 0)) {
        return Usage("give either --installed STATE_FILE or --from-registry");
    }
    netrefit::DryRunOptions dryRun;
    dryRun.server = options["--server"];
    dryRun.installed = options["--installed"];
    dryRun.fromRegistry = fromRegistry;
    dryRun.settings = options["--settings"];
    if (!ReadKeys(options, &dryRun.keys, &problem)) {
        return Usage(problem.c_str());
    }
    return netrefit::RunDryRun(dryRun);
}

int CheckSignature(Options& options) {
    std::string problem;
    netrefit::CheckSignatureOptions check;
    check.signature = options["--signature"];
    check.file = options["--file"];
    if (!netrefit::ParseKeyOption(options["--public-key"], &check.keys, &problem) ||
        !netrefit::ParseSignatureOption(check.signature, &problem)) {
        return Usage(problem.c_str());
    }
    return netrefit::RunCheckSignature(check);
}

int Keygen(Options& options) {
    return netrefit::RunKeygen(options["--out"]);
}

struct Command {
    const char* name;
    const char* const* valued;
    const char* const* flags;
    const char* const* required;
    int (*run)(Options& options);
};

const char* const kMakeValued[] = {"--description", "--modules", "--url",    "--out", "--password",
                                   "--key",         "--expires", "--mirror", nullptr};
const char* const kMakeRequired[] = {"--description", "--modules", "--url", "--out", nullptr};
const char* const kVerifyValued[] = {"--url",        "--lang",     "--password",
                                     "--public-key", "--settings", nullptr};
const char* const kUrl[] = {"--url", nullptr};
const char* const kDryRunValued[] = {"--server", "--installed", "--settings", "--public-key",
                                     nullptr};
const char* const kFromRegistry[] = {"--from-registry", nullptr};
const char* const kServer[] = {"--server", nullptr};
const char* const kCheckValued[] = {"--public-key", "--signature", "--file", nullptr};
const char* const kOut[] = {"--out", nullptr};

const Command kCommands[] = {
    {"make", kMakeValued, kNone, kMakeRequired, &Make},
    {"verify", kVerifyValued, kNone, kUrl, &Verify},
    {"dry-run", kDryRunValued, kFromRegistry, kServer, &DryRun},
    {"keygen", kOut, kNone, kOut, &Keygen},
    {"check-signature", kCheckValued, kNone, kCheckValued, &CheckSignature},
};

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
    for (const Command& known : kCommands) {
        if (command != known.name) {
            continue;
        }
        Options options;
        std::string problem;
        if (!ParseOptions(argc, argv, known.valued, known.flags, &options, &problem) ||
            Missing(options, known.required, &problem)) {
            return Usage(problem.c_str());
        }
        return known.run(options);
    }
    return Usage(("unknown command " + command).c_str());
}
