// The running-application check against real locks and real windows of second processes
// (windows need a display: run under Xvfb).

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "common/UniqueHandle.h"
#include "inventory/AppLockRegistry.h"
#include "inventory/SystemEnvironment.h"
#include "support/TestFiles.h"
#include "tests/inventory/SysEnvHelperProcess.h"

using namespace netrefit;
using namespace netrefit::test;

namespace {

const std::string OWN_TITLE = "Melorra Installer";
const std::string LOCAL_BACKUP_LOCK = std::string("Local\\l") + BACKUP_LOCK_NAME;
const std::string GLOBAL_BACKUP_LOCK = std::string("Global\\g") + BACKUP_LOCK_NAME;

bool MutexExists(const std::string& name) {
    KernelHandle mutex(OpenMutexA(SYNCHRONIZE, FALSE, name.c_str()));
    return mutex.valid();
}

void ResetRegistry() {
    AppLockRegistry& registry = GetAppLockRegistry();
    registry.ReleaseLocalLocks();
    registry.ReleaseGlobalLocks();
    registry.ClearLockNames();
}

// Each test starts and ends with a process-wide registry that holds nothing.
class RunningApplication : public ::testing::Test {
  protected:
    void SetUp() override { ResetRegistry(); }
    void TearDown() override { ResetRegistry(); }

    // A helper process holding the backup lock (or other lock names) in one kind.
    bool HoldLock(const std::string& kind,
                  const std::string& title,
                  const std::string& names = BACKUP_LOCK_NAME) {
        holders_.push_back(std::make_unique<HelperProcess>());
        return holders_.back()->Start("hold", kind + " \"" + dir_.File("hold.txt") + "\"",
                                      ToHex(title) + " " + names);
    }

    TempDir dir_;
    std::vector<std::unique_ptr<HelperProcess>> holders_;
};

// Windows of another process: two dialogs, a "PNGUIClass" window and a plain frame window.
// Opening windows costs a new process seconds under Wine, so one process serves every case and
// the tests retitle its windows (a window's title can be set from another process).
class RunningApplicationWindows : public RunningApplication {
  protected:
    enum Slot { kDialog1, kDialog2, kJukeboxClass, kFrame, kSlotCount };

    static void SetUpTestSuite() {
        const char* modes[kSlotCount] = {"dialog", "dialog", "class:PNGUIClass",
                                         "class:NetrefitTestFrame"};
        std::string pairs;
        for (int i = 0; i < kSlotCount; ++i) {
            pairs += std::string(" ") + modes[i] + " " + ToHex(SlotTitle(i));
        }
        windows_ = new HelperProcess;
        if (!windows_->Start("windows", "", pairs)) {
            return;
        }
        const char* classes[kSlotCount] = {DialogClass(), DialogClass(), "PNGUIClass",
                                           "NetrefitTestFrame"};
        for (int i = 0; i < kSlotCount; ++i) {
            slots_[i] = FindWindowA(classes[i], SlotTitle(i).c_str());
        }
    }
    static void TearDownTestSuite() {
        delete windows_;
        windows_ = nullptr;
    }
    void SetUp() override {
        RunningApplication::SetUp();
        for (int i = 0; i < kSlotCount; ++i) {
            ASSERT_NE(nullptr, slots_[i]) << "no window " << i << " (is a display available?)";
            ASSERT_TRUE(SetWindowTextA(slots_[i], SlotTitle(i).c_str()));
        }
    }

    static std::string SlotTitle(int slot) {
        return "Netrefit test window " + std::to_string(slot);
    }
    static const char* DialogClass() {
        return reinterpret_cast<const char*>(static_cast<ULONG_PTR>(0x8002));  // "#32770"
    }
    // Sets a window's title and checks that the other process took it.
    static void Retitle(Slot slot, const std::string& title) {
        ASSERT_TRUE(SetWindowTextA(slots_[slot], title.c_str()));
        char now[256] = {};
        GetWindowTextA(slots_[slot], now, sizeof(now));
        ASSERT_EQ(title, now);
    }

    static HelperProcess* windows_;
    static HWND slots_[kSlotCount];
};

HelperProcess* RunningApplicationWindows::windows_ = nullptr;
HWND RunningApplicationWindows::slots_[kSlotCount] = {};

}  // namespace

TEST_F(RunningApplication, NothingRunningTakesTheBackupLock) {
    std::string names = "stale";
    EXPECT_EQ(0, FindRunningApplication(OWN_TITLE.c_str(), names));
    EXPECT_EQ("", names);
    EXPECT_TRUE(MutexExists(LOCAL_BACKUP_LOCK));
    EXPECT_TRUE(MutexExists(GLOBAL_BACKUP_LOCK));

    // Another participant trying the lock now learns this program's title.
    HelperProcess late;
    const std::string out = dir_.File("late.txt");
    ASSERT_TRUE(late.Start("hold", "both \"" + out + "\"",
                           ToHex("Keldra Player") + " " + BACKUP_LOCK_NAME));
    std::string report;
    ASSERT_TRUE(ReadFileBytes(out, &report));
    EXPECT_EQ("1\nother " + LOCAL_BACKUP_LOCK + "\nholder Melorra Installer\n1\nother " +
                  GLOBAL_BACKUP_LOCK + "\nholder Melorra Installer\n",
              report);
    late.Stop();

    // A second check in the same run does not find this program itself.
    EXPECT_EQ(0, FindRunningApplication(OWN_TITLE.c_str(), names));
    EXPECT_EQ("", names);
    EXPECT_EQ(BACKUP_LOCK_NAME, std::string(GetAppLockRegistry().LockName(0)));
    EXPECT_EQ(nullptr, GetAppLockRegistry().LockName(1));
}

TEST_F(RunningApplication, BackupToolHoldingTheLocalLockIsNamed) {
    ASSERT_TRUE(HoldLock("local", "Keldra Player Backup Tool"));
    std::string names;
    EXPECT_EQ(1, FindRunningApplication(OWN_TITLE.c_str(), names));
    EXPECT_EQ("Keldra Player Backup Tool", names);
    // The global kind is not probed once a local holder is known.
    EXPECT_EQ(0u, GetAppLockRegistry().LockCount(kLockGlobal));
    EXPECT_FALSE(MutexExists(GLOBAL_BACKUP_LOCK));
}

TEST_F(RunningApplication, GlobalHolderIsNamedWhenNoLocalOne) {
    ASSERT_TRUE(HoldLock("global", "Keldra File Importer"));
    std::string names;
    EXPECT_EQ(1, FindRunningApplication(OWN_TITLE.c_str(), names));
    EXPECT_EQ("Keldra File Importer", names);
    EXPECT_TRUE(GetAppLockRegistry().Lock(kLockLocal, 0)->Held());
}

TEST_F(RunningApplication, SeveralHoldersAreJoined) {
    const std::string extra = "NetrefitTestExtraLock_" + std::to_string(GetCurrentProcessId());
    GetAppLockRegistry().AddLockName(BACKUP_LOCK_NAME);
    GetAppLockRegistry().AddLockName(extra.c_str());
    ASSERT_TRUE(HoldLock("local", "Keldra Player", BACKUP_LOCK_NAME));
    ASSERT_TRUE(HoldLock("local", "Keldra CD Recorder", extra));
    std::string names;
    EXPECT_EQ(1, FindRunningApplication(OWN_TITLE.c_str(), names));
    EXPECT_EQ("Keldra Player, Keldra CD Recorder", names);
}

TEST_F(RunningApplicationWindows, NothingListedFindsNothing) {
    std::string names = "stale";
    EXPECT_EQ(0, FindRunningApplication(OWN_TITLE.c_str(), names));
    EXPECT_EQ("", names);
}

TEST_F(RunningApplicationWindows, EachListedDialogTitle) {
    // The Japanese title as the bytes of code page 932.
    EXPECT_STREQ("Keldra Player \x83o\x83\x62\x83N\x83\x41\x83\x62\x83v\x83\x63\x81[\x83\x8b",
                 RUNNING_DIALOG_TITLES[3]);
    for (const char* title : RUNNING_DIALOG_TITLES) {
        Retitle(kDialog1, title);
        std::string names;
        EXPECT_EQ(1, FindRunningApplication(OWN_TITLE.c_str(), names)) << title;
        EXPECT_EQ(title, names);
    }
}

TEST_F(RunningApplicationWindows, SimpleModeIsNamedKeldraPlayer) {
    Retitle(kDialog2, "Keldra Player (simple mode)");
    std::string names;
    EXPECT_EQ(1, FindRunningApplication(OWN_TITLE.c_str(), names));
    EXPECT_EQ("Keldra Player", names);
}

TEST_F(RunningApplicationWindows, Jukebox) {
    Retitle(kJukeboxClass, "RealJukebox");
    std::string names;
    EXPECT_EQ(1, FindRunningApplication(OWN_TITLE.c_str(), names));
    EXPECT_EQ("RealJukebox", names);
}

TEST_F(RunningApplicationWindows, NearMissesFindNothing) {
    const struct {
        Slot slot;
        const char* title;
    } cases[] = {
        {kDialog1, "Keldra Player 2"},
        {kDialog1, "Keldra Player Backup"},
        {kDialog1, "RealJukebox"},
        {kDialog1, "Keldra Player (simple)"},
        {kFrame, "Keldra Player"},
        {kFrame, "RealJukebox"},
        {kFrame, "Keldra Player (simple mode)"},
        {kJukeboxClass, "RealJukebox Plus"},
        {kJukeboxClass, "Keldra Player"},
    };
    for (const auto& c : cases) {
        Retitle(c.slot, c.title);
        std::string names = "stale";
        EXPECT_EQ(0, FindRunningApplication(OWN_TITLE.c_str(), names)) << c.title;
        EXPECT_EQ("", names) << c.title;
        Retitle(c.slot, SlotTitle(c.slot));
    }
}

TEST_F(RunningApplicationWindows, FirstHitInOrderWins) {
    Retitle(kJukeboxClass, "RealJukebox");
    Retitle(kDialog1, "Keldra Player (simple mode)");
    std::string names;
    EXPECT_EQ(1, FindRunningApplication(OWN_TITLE.c_str(), names));
    EXPECT_EQ("Keldra Player", names);
    Retitle(kDialog1, "Keldra Player Backup Tool");
    Retitle(kDialog2, "Keldra CD Recorder");
    EXPECT_EQ(1, FindRunningApplication(OWN_TITLE.c_str(), names));
    EXPECT_EQ("Keldra CD Recorder", names);
    // A holder of the backup lock comes before every window.
    ResetRegistry();
    ASSERT_TRUE(HoldLock("local", "Keldra Player Backup Tool"));
    EXPECT_EQ(1, FindRunningApplication(OWN_TITLE.c_str(), names));
    EXPECT_EQ("Keldra Player Backup Tool", names);
}
