#pragma once
// Every name that two objects of this process, or two processes, must spell alike, and the one
// way this program makes a named event or mutex. A named object belongs to whoever created it
// first: a later creation opens that object with its creator's settings (an event's reset mode,
// a mutex's owner), so every creation says whether it only opened one.

#include <windows.h>

#include "common/UniqueHandle.h"

namespace netrefit {

// The progress windows' events. The server window makes the first two for automatic reset and
// closes them before the progress window makes all three for manual reset; the extraction
// worker opens the progress window's "Event Object" as its done event.
constexpr char kQuestionEventName[] = "Event Object";
constexpr char kSwitchEventName[] = "Event Object2";
constexpr char kStandbyEventName[] = "Event Object3";
// Shared by every download worker of the process.
constexpr char kDownloadDoneEventName[] = "Event Object Test";

// One copy of the program at a time: the single-instance mutex is named by the program's title
// (kAppTitle), which also finds the first copy's window.
// The suite's applications take and look at their locks one at a time under this mutex.
constexpr char kSerialisingMutexName[] = "Tavrin_KdrBootCheckerWait1";
// The registered message through which the suite's installer reports back.
constexpr char kInstallerNoticeName[] = "TAVRIN_UPDATE_AGENT";

enum class EventReset { Manual, Automatic };

struct NamedObject {
    KernelHandle handle;
    // The name was taken: the handle opens the existing object, whose creator's settings hold.
    bool existed = false;
};

NamedObject CreateNamedEvent(const char* name, EventReset reset, bool signalled);
// initialOwner is granted only when the mutex is created, never when it existed.
NamedObject CreateNamedMutex(const char* name,
                             bool initialOwner,
                             SECURITY_ATTRIBUTES* security = nullptr);

}  // namespace netrefit
