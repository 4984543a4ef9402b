// Cross-application locks between this test process and real second processes.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include "support/TestThreads.h"

#include "common/NamedObjects.h"
#include "common/UniqueHandle.h"
#include "inventory/AppLockRegistry.h"
#include "support/TestFiles.h"
#include "tests/inventory/SysEnvHelperProcess.h"

using namespace netrefit;
using namespace netrefit::test;

namespace {

std::string UniqueLockName() {
    static LONG counter = 0;
    return "NetrefitTestLock_" + std::to_string(GetCurrentProcessId()) + "_" +
           std::to_string(InterlockedIncrement(&counter));
}

bool MutexExists(const std::string& name) {
    KernelHandle mutex(OpenMutexA(SYNCHRONIZE, FALSE, name.c_str()));
    return mutex.valid();
}

bool NameBlockExists(const std::string& fullName) {
    KernelHandle block(OpenFileMappingA(FILE_MAP_READ, FALSE, (fullName + "Name").c_str()));
    return block.valid();
}

// The name published for a lock, as another participant would read it.
std::string PublishedName(const std::string& fullName) {
    AppLock reader(fullName);
    char buffer[512] = {};
    if (reader.ReadHolderName(buffer, sizeof(buffer), true) == 0) {
        return "<unreadable>";
    }
    return buffer;
}

// A helper process holding the given locks with a title published in their name blocks.
struct Holder {
    TempDir dir;
    HelperProcess process;
    std::string report;

    bool Start(const std::string& kind,
               const std::string& title,
               const std::string& names,
               const std::string& program = HelperPath()) {
        const std::string out = dir.File("hold.txt");
        if (!process.Start("hold", kind + " \"" + out + "\"", ToHex(title) + " " + names,
                           program)) {
            return false;
        }
        return ReadFileBytes(out, &report);
    }
};

}  // namespace

TEST(AppLockNames, PrefixesPerKindAndWindows) {
    EXPECT_EQ("Local\\lTavrin_KeldraBackupLocker",
              LockFullName(kLockLocal, "Tavrin_KeldraBackupLocker", true));
    EXPECT_EQ("Global\\gTavrin_KeldraBackupLocker",
              LockFullName(kLockGlobal, "Tavrin_KeldraBackupLocker", true));
    EXPECT_EQ("lTavrin_KeldraBackupLocker",
              LockFullName(kLockLocal, "Tavrin_KeldraBackupLocker", false));
    EXPECT_EQ("gTavrin_KeldraBackupLocker",
              LockFullName(kLockGlobal, "Tavrin_KeldraBackupLocker", false));
    EXPECT_TRUE(KernelNamespacesAvailable());
}

TEST(AppLock, AcquirePublishesNameAndReleaseRemovesBoth) {
    const std::string full = LockFullName(kLockLocal, UniqueLockName().c_str(), true);
    {
        AppLock lock(full);
        EXPECT_FALSE(lock.Held());
        ASSERT_EQ(1, lock.Acquire("Melorra Installer"));
        EXPECT_TRUE(lock.Held());
        EXPECT_FALSE(lock.HasHolderName());
        EXPECT_TRUE(MutexExists(full));
        EXPECT_EQ("Melorra Installer", PublishedName(full));
        EXPECT_EQ(1, lock.Acquire("Melorra Installer"));  // held already: still ours
        lock.Release();
        EXPECT_FALSE(lock.Held());
        EXPECT_FALSE(MutexExists(full));
        EXPECT_FALSE(NameBlockExists(full));
        ASSERT_EQ(1, lock.Acquire(""));  // free again; an empty own name still publishes
        EXPECT_EQ("", PublishedName(full));
    }
    EXPECT_FALSE(MutexExists(full));  // released on destruction
}

TEST(AppLock, ReadHolderNameBounds) {
    const std::string full = LockFullName(kLockLocal, UniqueLockName().c_str(), true);
    const std::string title = "Keldra Player Backup Tool";  // 25 characters
    AppLock holder(full);
    ASSERT_EQ(1, holder.Acquire(title.c_str()));
    AppLock reader(full);
    EXPECT_EQ(26u, reader.ReadHolderName(nullptr, 0, true));
    EXPECT_EQ(26u, reader.ReadHolderName(nullptr, 100, false));
    for (size_t size : {1u, 10u, 25u, 26u, 27u}) {
        char buffer[40];
        std::memset(buffer, '#', sizeof(buffer));
        EXPECT_EQ(26u, reader.ReadHolderName(buffer, size, true)) << size;
        const size_t copied = std::min<size_t>(size, 26) - 1;
        EXPECT_EQ(title.substr(0, copied), std::string(buffer)) << size;
        EXPECT_EQ('#', buffer[copied + 1]) << "wrote past the terminator at size " << size;
    }
    char untouched[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(26u, reader.ReadHolderName(untouched, 0, true));
    EXPECT_EQ('#', untouched[0]);
    AppLock nobody(full + "Other");
    EXPECT_EQ(0u, nobody.ReadHolderName(nullptr, 0, true));
}

TEST(AppLock, HolderWithoutNameBlockOrTerminatorGivesNoName) {
    const std::string full = LockFullName(kLockLocal, UniqueLockName().c_str(), true);
    KernelHandle foreign(CreateMutexA(nullptr, FALSE, full.c_str()));
    ASSERT_TRUE(foreign.valid());
    AppLock lock(full);
    EXPECT_EQ(0, lock.Acquire("me"));
    EXPECT_FALSE(lock.HasHolderName());
    EXPECT_FALSE(lock.Held());

    // A name block that fills its whole view without a terminator is refused, not overread.
    KernelHandle block(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096,
                                          (full + "Name").c_str()));
    ASSERT_TRUE(block.valid());
    MappedView view(MapViewOfFile(block.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
    ASSERT_TRUE(view.valid());
    std::memset(view.get(), 'A', 4096);
    EXPECT_EQ(0, lock.Acquire("me"));
    EXPECT_FALSE(lock.HasHolderName());
    EXPECT_EQ(0u, lock.ReadHolderName(nullptr, 0, true));
    static_cast<char*>(view.get())[4095] = '\0';
    EXPECT_EQ(0, lock.Acquire("me"));
    ASSERT_TRUE(lock.HasHolderName());
    EXPECT_EQ(std::string(4095, 'A'), lock.HolderName());
}

TEST(AppLock, FullNameLengthLimit) {
    // "Local\l" is 7 characters. The name block's name is four longer than the lock's, and kernel
    // object names of the ANSI calls stop at 259 characters: 248 more is the longest that works.
    const std::string longest = LockFullName(kLockLocal, std::string(248, 'n').c_str(), true);
    ASSERT_EQ(255u, longest.size());
    AppLock works(longest);
    EXPECT_EQ(1, works.Acquire("me"));
    EXPECT_EQ("me", PublishedName(longest));
    // Longer: the lock mutex could be made, the name block not. Unnamed, the lock is not kept.
    for (size_t extra : {249u, 252u}) {
        const std::string full = LockFullName(kLockLocal, std::string(extra, 'n').c_str(), true);
        AppLock lock(full);
        EXPECT_EQ(0, lock.Acquire("me")) << full.size();
        EXPECT_FALSE(lock.Held()) << full.size();
        EXPECT_FALSE(MutexExists(full)) << full.size();
    }
    const std::string tooLong = LockFullName(kLockLocal, std::string(253, 'n').c_str(), true);
    ASSERT_EQ(260u, tooLong.size());
    AppLock refused(tooLong);
    EXPECT_EQ(0, refused.Acquire("me"));
    EXPECT_FALSE(refused.HasHolderName());
    EXPECT_EQ(0u, refused.ReadHolderName(nullptr, 0, true));
}

TEST(AppLock, SerialisingMutexIsFreeAfterAcquireAndRelease) {
    // Keeping a handle open keeps the mutex object alive, so its state can be looked at after.
    KernelHandle serialising(CreateMutexA(nullptr, FALSE, kSerialisingMutexName));
    ASSERT_TRUE(serialising.valid());
    const std::string full = LockFullName(kLockLocal, UniqueLockName().c_str(), true);
    AppLock lock(full);
    ASSERT_EQ(1, lock.Acquire("me"));
    lock.Release();
    // Another thread must get the mutex at once: a mutex left owned here would time out.
    DWORD wait = WAIT_FAILED;
    test::Thread other([&] {
        wait = WaitForSingleObject(serialising.get(), 0);
        if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
            ReleaseMutex(serialising.get());
        }
    });
    other.join();
    EXPECT_EQ(WAIT_OBJECT_0, wait);
}

TEST(AppLockRegistry, LockNameList) {
    AppLockRegistry registry(true);
    EXPECT_EQ(nullptr, registry.LockName(0));
    registry.AddLockName("First");
    registry.AddLockName("Second");
    EXPECT_STREQ("First", registry.LockName(0));
    EXPECT_STREQ("Second", registry.LockName(1));
    EXPECT_EQ(nullptr, registry.LockName(2));
    EXPECT_TRUE(registry.HasLockName("Second"));
    EXPECT_FALSE(registry.HasLockName("second"));
    registry.ClearLockNames();
    EXPECT_EQ(nullptr, registry.LockName(0));
    EXPECT_EQ(nullptr, registry.LocalHolderName(0));
    EXPECT_EQ(nullptr, registry.GlobalHolderName(0));
}

TEST(AppLockRegistry, NoOtherHolderTakesBothKinds) {
    const std::string name = UniqueLockName();
    const std::string local = "Local\\l" + name;
    const std::string global = "Global\\g" + name;
    {
        AppLockRegistry registry(true);
        registry.AddLockName(name.c_str());
        EXPECT_EQ(0, registry.ProbeLocalLocks("Melorra Installer"));
        EXPECT_EQ(0, registry.ProbeGlobalLocks("Melorra Installer"));
        ASSERT_EQ(1u, registry.LockCount(kLockLocal));
        ASSERT_EQ(1u, registry.LockCount(kLockGlobal));
        EXPECT_EQ(local, registry.Lock(kLockLocal, 0)->FullName());
        EXPECT_EQ(global, registry.Lock(kLockGlobal, 0)->FullName());
        EXPECT_EQ("Melorra Installer", PublishedName(local));
        EXPECT_EQ("Melorra Installer", PublishedName(global));
        // Probing again must not find this process as the other holder of its own locks.
        EXPECT_EQ(0, registry.ProbeLocalLocks("Melorra Installer"));
        EXPECT_EQ(1u, registry.LockCount(kLockLocal));
        registry.ReleaseLocalLocks();
        EXPECT_EQ(0u, registry.LockCount(kLockLocal));
        EXPECT_FALSE(MutexExists(local));
        EXPECT_TRUE(MutexExists(global));
    }
    EXPECT_FALSE(MutexExists(global));
}

TEST(AppLockRegistry, OtherProcessHoldingTheLockIsNamed) {
    const std::string name = UniqueLockName();
    Holder holder;
    ASSERT_TRUE(holder.Start("local", "Keldra Player Backup Tool", name));
    ASSERT_EQ("0\nheld Local\\l" + name + "\n", holder.report);
    AppLockRegistry registry(true);
    registry.AddLockName(name.c_str());
    EXPECT_EQ(1, registry.ProbeLocalLocks("Melorra Installer"));
    EXPECT_STREQ("Keldra Player Backup Tool", registry.LocalHolderName(0));
    EXPECT_EQ(nullptr, registry.LocalHolderName(1));
    ASSERT_EQ(1u, registry.LockCount(kLockLocal));
    EXPECT_FALSE(registry.Lock(kLockLocal, 0)->Held());
    EXPECT_EQ("Keldra Player Backup Tool", PublishedName("Local\\l" + name));

    // Once the other process has ended, a new probe takes the lock and names nobody.
    EXPECT_EQ(0u, holder.process.Stop());
    EXPECT_EQ(0, registry.ProbeLocalLocks("Melorra Installer"));
    EXPECT_EQ(nullptr, registry.LocalHolderName(0));
    ASSERT_EQ(1u, registry.LockCount(kLockLocal));
    EXPECT_TRUE(registry.Lock(kLockLocal, 0)->Held());

    // ...and the next process to try it learns this process's name.
    Holder late;
    ASSERT_TRUE(late.Start("local", "Late", name));
    EXPECT_EQ("1\nother Local\\l" + name + "\nholder Melorra Installer\n", late.report);
}

TEST(AppLockRegistry, OneHolderOfTwoLocksIsListedOnce) {
    const std::string first = UniqueLockName();
    const std::string second = UniqueLockName();
    Holder holder;
    ASSERT_TRUE(holder.Start("local", "Keldra Player", first + " " + second));
    AppLockRegistry registry(true);
    registry.AddLockName(first.c_str());
    registry.AddLockName(second.c_str());
    EXPECT_EQ(1, registry.ProbeLocalLocks("Melorra Installer"));
    EXPECT_STREQ("Keldra Player", registry.LocalHolderName(0));
    EXPECT_EQ(nullptr, registry.LocalHolderName(1));
    EXPECT_EQ(2u, registry.LockCount(kLockLocal));
}

TEST(AppLockRegistry, TwoHoldersAreListedInLockOrder) {
    const std::string first = UniqueLockName();
    const std::string second = UniqueLockName();
    Holder one, two;
    ASSERT_TRUE(two.Start("global", "Keldra CD Recorder", second));
    ASSERT_TRUE(one.Start("global", "Keldra Player", first));
    AppLockRegistry registry(true);
    registry.AddLockName(first.c_str());
    registry.AddLockName(second.c_str());
    EXPECT_EQ(0, registry.ProbeLocalLocks("Melorra Installer"));  // only global locks are held
    EXPECT_EQ(2, registry.ProbeGlobalLocks("Melorra Installer"));
    EXPECT_STREQ("Keldra Player", registry.GlobalHolderName(0));
    EXPECT_STREQ("Keldra CD Recorder", registry.GlobalHolderName(1));
}

TEST(AppLockRegistry, OneLetterPrefixesBeforeNt5) {
    const std::string name = UniqueLockName();
    AppLockRegistry registry(false);
    registry.AddLockName(name.c_str());
    EXPECT_EQ(0, registry.ProbeLocalLocks("Melorra Installer"));
    EXPECT_EQ(0, registry.ProbeGlobalLocks("Melorra Installer"));
    EXPECT_EQ("l" + name, registry.Lock(kLockLocal, 0)->FullName());
    EXPECT_EQ("g" + name, registry.Lock(kLockGlobal, 0)->FullName());
    EXPECT_TRUE(MutexExists("l" + name));
    EXPECT_TRUE(MutexExists("g" + name));
    EXPECT_EQ("Melorra Installer", PublishedName("l" + name));
    EXPECT_EQ("Melorra Installer", PublishedName("g" + name));
}

TEST(AppLockRegistry, ProgramOnWindows98UsesOneLetterPrefixes) {
    // The helper runs as Windows 98 under its own name, so it names its locks itself.
    TempDir dir;
    const std::string exe = "sysenv_locks98_" + std::to_string(GetCurrentProcessId()) + ".exe";
    const std::string program = dir.File(exe);
    ASSERT_TRUE(CopyFileA(HelperPath().c_str(), program.c_str(), FALSE));
    const std::string key = "Software\\Wine\\AppDefaults\\" + exe;
    HKEY raw = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0,
                                             KEY_SET_VALUE, nullptr, &raw, nullptr));
    RegKey versionKey(raw);
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(raw, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win98"), 6));
    const std::string name = UniqueLockName();
    {
        Holder holder;
        ASSERT_TRUE(holder.Start("both", "Keldra Player", name, program));
        EXPECT_EQ("0\nheld l" + name + "\n0\nheld g" + name + "\n", holder.report);
        EXPECT_TRUE(MutexExists("l" + name));
        EXPECT_TRUE(MutexExists("g" + name));
        AppLockRegistry registry(false);
        registry.AddLockName(name.c_str());
        EXPECT_EQ(1, registry.ProbeGlobalLocks("Melorra Installer"));
        EXPECT_STREQ("Keldra Player", registry.GlobalHolderName(0));
    }
    versionKey.reset();
    RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
}
