#pragma once
// Facts about this computer (Windows version, language, rights, user name) and the checks that
// decide whether an upgrade may run here.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace netrefit {

// Windows versions as bits, so that one settings mask can allow several of them.
enum OsCode : int32_t {
    kOsWin32s = 0,
    kOsWindows95 = 1,
    kOsWindowsNt4 = 2,  // NT 4.0 and earlier
    kOsWindows98 = 4,
    kOsWindows98SE = 8,
    kOsWindowsMe = 16,
    kOsWindows2000 = 32,
    kOsWindowsXP = 64,  // XP and every later NT version
    kOsUnknown = -1,
};

// LANGID values of the languages that the settings files name.
enum LanguageId : uint16_t {
    kLangGerman = 1031,
    kLangEnglish = 1033,
    kLangSpanish = 1034,
    kLangFrench = 1036,
    kLangItalian = 1040,
    kLangJapanese = 1041,
    kLangKorean = 1042,
    kLangSimplifiedChinese = 2052,
};

// Rights levels of the administrator probe.
enum RightsLevel : int {
    kRightsUnknown = 0,  // the token could not be read
    kRightsGuest = 1,
    kRightsUser = 2,
    kRightsPowerUser = 3,
    kRightsAdministrator = 4,
};

using LanguageList = std::vector<uint16_t>;

// The facts gathered once per SystemEnvironment; the defaults are what a failing probe leaves.
struct EnvironmentFacts {
    int32_t osCode = kOsUnknown;
    uint16_t language = kLangEnglish;
    int32_t isAdmin = 0;
    int32_t hasDoubleByteUserName = 0;
};

// --- Decisions over plain values (no system calls) ---

// OsCode from the fields of OSVERSIONINFOA; csdVersion may be null.
int32_t OsCodeFromVersion(uint32_t platformId,
                          uint32_t major,
                          uint32_t minor,
                          uint32_t buildNumber,
                          const char* csdVersion);
// Folds every variant of a named language onto the LANGID that the settings use.
uint16_t NormaliseLanguage(uint16_t langId);
// LANGID of a language name (case-insensitive, no blanks), 0 for any other or null text.
uint16_t LanguageFromName(const char* name);
// Name of a LANGID's language; languages without a name of their own are "English".
const char* LanguageName(uint16_t langId);
// Comma list of language names -> their LANGIDs in order, duplicates kept, unknown names skipped.
LanguageList ParseLanguageList(const char* text);
// Rights level from the groups of a process token (only enabled groups count).
int RightsLevelFromGroups(const TOKEN_GROUPS& groups);
// True when the text holds a byte that starts a double-byte character in the code page.
bool HasDoubleByteCharacter(const char* text, uint32_t codePage);

// --- Probes of the running computer ---

int32_t ProbeOsCode();
uint16_t ProbeLanguage();
int ProbeRightsLevel();
int32_t ProbeDoubleByteUserName();
EnvironmentFacts ProbeEnvironmentFacts();

class SystemEnvironment {
  public:
    // Gathers the facts of this computer.
    SystemEnvironment();
    // Uses the given facts instead, for decisions about another computer.
    explicit SystemEnvironment(const EnvironmentFacts& facts);
    virtual ~SystemEnvironment();

    virtual int32_t OsCode() const;
    virtual uint16_t Language() const;
    virtual uint32_t SupportedOsMask() const;
    virtual void GetLanguageLists(LanguageList& support, LanguageList& nonSupport) const;
    // Chooses the application language from a comma list of names: the system's own when listed,
    // else the first listed. Returns 0 (name untouched) when the list names no language.
    virtual int ApplicationLanguage(const char* listText, std::string& name) const;
    virtual void SetSupportedOsMask(uint32_t mask);
    virtual void SetLanguageLists(const char* supportText, const char* nonSupportText);
    virtual int32_t IsOsSupported() const;
    virtual int IsOsLanguageSupported() const;
    virtual int IsAdminSufficient() const;
    virtual int32_t HasDoubleByteUserName() const;

    int32_t IsAdmin() const { return facts_.isAdmin; }

  private:
    EnvironmentFacts facts_;
    uint32_t supportedOsMask_ = 0xFFFFFFFFu;
    LanguageList supportLanguages_;
    LanguageList nonSupportLanguages_;
};

// --- Applications that must not run while the suite's installer runs ---

// Lock of the suite's backup tool, taken by the running-application check.
constexpr const char* BACKUP_LOCK_NAME = "Tavrin_KeldraBackupLocker";
// Dialog titles of the suite's applications, in the order they are looked for.
constexpr int RUNNING_DIALOG_TITLE_COUNT = 5;
extern const char* const RUNNING_DIALOG_TITLES[RUNNING_DIALOG_TITLE_COUNT];
constexpr const char* SIMPLE_MODE_TITLE = "Keldra Player (simple mode)";
constexpr const char* SIMPLE_MODE_NAME = "Keldra Player";
constexpr const char* JUKEBOX_CLASS = "PNGUIClass";
constexpr const char* JUKEBOX_TITLE = "RealJukebox";

// Returns 1 with the blocking applications' names (joined by ", ") when one is running, else 0
// with an empty text. ownName is the title of this program's main window, published as the
// holder's name of the backup lock, which this process then keeps until it ends.
int FindRunningApplication(const char* ownName, std::string& names);

}  // namespace netrefit
