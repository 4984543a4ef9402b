// The download worker over several entries: counts, passed-over entries, rejection, pause,
// cancel at every phase, a worker held in the network and one held in a report handler.
#include <gtest/gtest.h>

#include <ostream>

#include "tests/download/DownloadFixture.h"

namespace netrefit::test {
namespace {

using DownloaderRun = DownloadFixture;

DWORD ElapsedSince(DWORD start) {
    return ::GetTickCount() - start;
}

TEST_F(DownloaderRun, OverallCountRunsOnAcrossEntries) {
    std::string a = PatternBytes(70000, 1), b = PatternBytes(20000, 2), c = PatternBytes(5, 3);
    server_.Serve("/a.zip", HttpResponse::Ok(a));
    server_.Serve("/b.zip", HttpResponse::Ok(b));
    server_.Serve("/c.zip", HttpResponse::Ok(c));
    DownloadList list{Entry("/a.zip", 70000), Entry("/b.zip", 20000), Entry("/c.zip", 5)};
    RunToEnd(list);

    std::vector<Report> started, done;
    for (const Report& r : recorder_.Reports()) {
        if (r.status == FileStarted) {
            started.push_back(r);
        } else if (r.status == FileDone) {
            done.push_back(r);
        }
    }
    ASSERT_EQ(3u, started.size());
    ASSERT_EQ(3u, done.size());
    EXPECT_EQ(0, started[0].a);
    EXPECT_EQ(70000, started[1].a);
    EXPECT_EQ(90000, started[2].a);
    EXPECT_EQ(70000, done[0].a);
    EXPECT_EQ(90000, done[1].a);
    EXPECT_EQ(90005, done[2].a);
    EXPECT_EQ(5, done[2].b);
    EXPECT_EQ(AllDone, recorder_.Reports().back().status);
    EXPECT_EQ("c.zip", recorder_.Reports().back().entryName);
    EXPECT_EQ(a, LocalBytes("a.zip"));
    EXPECT_EQ(b, LocalBytes("b.zip"));
    EXPECT_EQ(c, LocalBytes("c.zip"));
    EXPECT_TRUE(DoneEventSignalled());
}

TEST_F(DownloaderRun, AlreadyDownloadedEntriesArePassedOverWithoutRequest) {
    DownloadList list{Entry("/x.zip", 10), Entry("/y.zip", 20)};
    for (DownloadEntry& entry : list) {
        entry.SetAlreadyDownloaded(1);
    }
    RunToEnd(list);
    auto reports = recorder_.Reports();
    ASSERT_EQ(3u, reports.size());
    EXPECT_EQ(FileDone, reports[0].status);
    EXPECT_EQ("x.zip", reports[0].entryName);
    EXPECT_EQ(0, reports[0].a);
    EXPECT_EQ(0, reports[0].b);
    EXPECT_EQ(FileDone, reports[1].status);
    EXPECT_EQ("y.zip", reports[1].entryName);
    EXPECT_EQ(AllDone, reports[2].status);
    EXPECT_EQ("y.zip", reports[2].entryName);
    EXPECT_EQ(0u, server_.RequestCount());
    EXPECT_TRUE(DoneEventSignalled());
}

TEST_F(DownloaderRun, PassedOverEntryAddsNothingAndMayBeLast) {
    server_.Serve("/a.zip", HttpResponse::Ok(PatternBytes(1234)));
    DownloadList list{Entry("/a.zip", 1234), Entry("/skip.zip", 99)};
    list[1].SetAlreadyDownloaded(1);
    RunToEnd(list);
    auto reports = recorder_.Reports();
    ASSERT_GE(reports.size(), 3u);
    const Report& skipped = reports[reports.size() - 2];
    EXPECT_EQ(FileDone, skipped.status);
    EXPECT_EQ("skip.zip", skipped.entryName);
    EXPECT_EQ(0, skipped.a);
    EXPECT_EQ(AllDone, reports.back().status);
    EXPECT_EQ("skip.zip", reports.back().entryName);
    EXPECT_EQ(0u, server_.RequestCount("/skip.zip"));
}

TEST_F(DownloaderRun, EmptyListReportsAllDoneWithoutEntry) {
    RunToEnd(DownloadList());
    auto reports = recorder_.Reports();
    ASSERT_EQ(1u, reports.size());
    EXPECT_EQ(AllDone, reports[0].status);
    EXPECT_FALSE(reports[0].hasEntry);
    EXPECT_TRUE(DoneEventSignalled());
}

TEST_F(DownloaderRun, RejectedFileIsDeletedAndRunStops) {
    server_.Serve("/a.zip", HttpResponse::Ok(PatternBytes(3000)));
    server_.Serve("/b.zip", HttpResponse::Ok(PatternBytes(3000)));
    recorder_.SetHook([](const Report& r, DownloadEntry*) { return r.status == FileDone ? 0 : 1; });
    DownloadList list{Entry("/a.zip", 3000), Entry("/b.zip", 3000)};
    RunToEnd(list);
    EXPECT_EQ(FileDone, recorder_.Reports().back().status);
    EXPECT_EQ(1u, recorder_.Count(FileDone));
    EXPECT_EQ(0u, recorder_.Count(AllDone));
    EXPECT_FALSE(FileExists(Local("a.zip")));
    EXPECT_EQ(0u, server_.RequestCount("/b.zip"));
    EXPECT_FALSE(DoneEventSignalled());
}

// An earlier run's file checked again by the owner: a refusal, or a cancel made from that very
// report (the worker's first), ends the run before the next entry is asked for. The refusal is
// held back until the test lets it go, so the worker cannot have moved on meanwhile.
class RefusedReusedEntry : public DownloadFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(RefusedReusedEntry, StopsTheRunBeforeTheNextRequest) {
    const bool cancelInReport = GetParam();
    server_.Serve("/next.zip", HttpResponse::Ok(PatternBytes(3000)));
    KernelHandle inHandler(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    KernelHandle answer(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    recorder_.SetHook([&](const Report& r, DownloadEntry*) {
        if (r.status != FileDone || r.entryName != "old.zip") {
            return 1;
        }
        if (cancelInReport) {
            downloader_->Cancel();
            return 1;
        }
        ::SetEvent(inHandler.get());
        ::WaitForSingleObject(answer.get(), 60000);
        return 0;
    });
    DownloadList list{Entry("/old.zip", 10), Entry("/next.zip", 3000)};
    list[0].SetAlreadyDownloaded(1);
    Start(list);
    if (!cancelInReport) {
        ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(inHandler.get(), 60000));
        ::SetEvent(answer.get());
    }
    ASSERT_TRUE(downloader_->Join(60000));
    EXPECT_EQ(0u, server_.RequestCount("/next.zip"));
    EXPECT_FALSE(FileExists(Local("next.zip")));
    EXPECT_EQ(0u, recorder_.Count(FileStarted));
    EXPECT_EQ(0u, recorder_.Count(AllDone));
}

INSTANTIATE_TEST_SUITE_P(Answers,
                         RefusedReusedEntry,
                         ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "CancelInReport" : "HeldRefusal");
                         });

TEST_F(DownloaderRun, StartTwiceAndResetAfterStartAreRefused) {
    Downloader& downloader = Start(DownloadList());
    ASSERT_TRUE(recorder_.WaitEnded());
    EXPECT_FALSE(downloader.Start(DownloadList()));
    EXPECT_FALSE(downloader.Reset());
    downloader_.reset();
    EXPECT_EQ(1u, recorder_.Count(AllDone));
}

TEST_F(DownloaderRun, PauseAndCancelBeforeStartDoNothing) {
    server_.Serve("/a.zip", HttpResponse::Ok(PatternBytes(50000)));
    Downloader downloader;
    recorder_.Attach(downloader);
    downloader.SetFolder(folder_.Path());
    DWORD start = ::GetTickCount();
    downloader.Pause(true);
    downloader.Cancel();
    // Not waiting for the done event: far below the cancel wait.
    EXPECT_LT(ElapsedSince(start), Downloader::kCancelWaitMs / 2);
    ASSERT_TRUE(downloader.Start(DownloadList{Entry("/a.zip", 50000)}));
    ASSERT_TRUE(recorder_.WaitEnded());
    EXPECT_EQ(AllDone, recorder_.Reports().back().status);
    EXPECT_EQ(PatternBytes(50000), LocalBytes("a.zip"));
}

TEST_F(DownloaderRun, CancelAfterAnyEndReturnsAtOnceWithoutReport) {
    server_.Serve("/ok.zip", HttpResponse::Ok("ok"));
    for (const char* target : {"/ok.zip", "/missing.zip"}) {
        DownloadRecorder recorder;
        Downloader downloader;
        recorder.Attach(downloader);
        downloader.SetFolder(folder_.Path());
        ASSERT_TRUE(downloader.Start(DownloadList{Entry(target, 2)}));
        ASSERT_TRUE(recorder.WaitEnded());
        size_t reports = recorder.Reports().size();
        DWORD start = ::GetTickCount();
        downloader.Cancel();
        EXPECT_LT(ElapsedSince(start), Downloader::kCancelWaitMs / 2) << target;
        EXPECT_EQ(reports, recorder.Reports().size()) << target;
    }
}

int64_t SizeOnDisk(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        return -1;
    }
    return (int64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Pause requested from a report (FileStarted, or the third Progress), then resumed.
class PauseResume : public DownloadFixture, public ::testing::WithParamInterface<DownloadStatus> {};

TEST_P(PauseResume, HoldsBetweenChunksAndResumesToTheSameBytes) {
    const DownloadStatus when = GetParam();
    const int32_t size = 2 * 1024 * 1024;
    std::string body = PatternBytes(size, 21);
    server_.Serve("/p.zip", HttpResponse::Ok(body));
    KernelHandle paused(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    int seen = 0;
    int32_t receivedAtPause = -1;
    recorder_.SetHook([&](const Report& r, DownloadEntry*) {
        if (r.status == when && ++seen == (when == Progress ? 3 : 1)) {
            receivedAtPause = when == Progress ? r.b : 0;
            downloader_->Pause(true);  // the gate closes before the next write
            ::SetEvent(paused.get());
        }
        return 1;
    });
    Start(DownloadList{Entry("/p.zip", size)});
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(paused.get(), 60000));
    size_t reportsAtPause = recorder_.Reports().size();
    int64_t writtenAtPause = SizeOnDisk(Local("p.zip"));
    // Written: everything read but the chunk waiting at the gate.
    EXPECT_GE(writtenAtPause, 0);
    EXPECT_LE(writtenAtPause, receivedAtPause);
    if (when == FileStarted) {
        EXPECT_EQ(0, writtenAtPause);
    } else {
        EXPECT_GT(writtenAtPause, 0);
        EXPECT_LT(writtenAtPause, receivedAtPause);
    }
    ::Sleep(350);  // several pause steps: a run that ignored the pause would go on meanwhile
    EXPECT_EQ(reportsAtPause, recorder_.Reports().size());
    EXPECT_EQ(writtenAtPause, SizeOnDisk(Local("p.zip")));
    EXPECT_FALSE(recorder_.Ended());
    downloader_->Pause(false);
    ASSERT_TRUE(recorder_.WaitEnded());
    downloader_.reset();
    EXPECT_EQ(AllDone, recorder_.Reports().back().status);
    EXPECT_EQ(body, LocalBytes("p.zip"));
    EXPECT_EQ(1u, server_.RequestCount("/p.zip"));  // the same request went on
}

INSTANTIATE_TEST_SUITE_P(Phases,
                         PauseResume,
                         ::testing::Values(FileStarted, Progress),
                         [](const ::testing::TestParamInfo<DownloadStatus>& info) {
                             return info.param == FileStarted ? std::string("AtFileStarted")
                                                              : std::string("AtProgress");
                         });

TEST_F(DownloaderRun, PauseThenCancelEndsCancelledWithoutCopy) {
    const int32_t size = 1024 * 1024;
    server_.Serve("/first.zip", HttpResponse::Ok("kept"));
    server_.Serve("/c.zip", HttpResponse::Ok(PatternBytes(size)));
    KernelHandle paused(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    int32_t fileCountAtPause = 0;
    recorder_.SetHook([&](const Report& r, DownloadEntry*) {
        if (r.status == Progress && r.entryName == "c.zip" && fileCountAtPause == 0) {
            fileCountAtPause = r.b;
            downloader_->Pause(true);
            ::SetEvent(paused.get());
        }
        return 1;
    });
    Start(DownloadList{Entry("/first.zip", 4), Entry("/c.zip", size), Entry("/after.zip", 1)});
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(paused.get(), 60000));
    downloader_->Cancel();
    // Cancel returned: the worker honoured it itself (a forced end would report nothing).
    const Report& last = recorder_.Reports().back();
    EXPECT_EQ(Cancelled, last.status);
    EXPECT_EQ("c.zip", last.entryName);
    EXPECT_EQ(fileCountAtPause, last.b);
    EXPECT_EQ(4 + fileCountAtPause, last.a);
    EXPECT_FALSE(FileExists(Local("c.zip")));
    EXPECT_EQ("kept", LocalBytes("first.zip"));
    EXPECT_EQ(0u, server_.RequestCount("/after.zip"));
    EXPECT_TRUE(DoneEventSignalled());
}

// Cancel made from inside a report: honoured after the next chunk has been read, or, made in the
// report of a finished file, before the next file's request is sent.
class CancelDuringReport : public DownloadFixture,
                           public ::testing::WithParamInterface<DownloadStatus> {};

TEST_P(CancelDuringReport, EndsAfterNextReadWithoutCopy) {
    const DownloadStatus when = GetParam();
    const int32_t size = 200000;
    server_.Serve("/one.zip", HttpResponse::Ok("one"));
    server_.Serve("/two.zip", HttpResponse::Ok(PatternBytes(size)));
    bool cancelled = false;
    recorder_.SetHook([&](const Report& r, DownloadEntry*) {
        if (!cancelled && r.status == when &&
            r.entryName == (when == FileDone ? "one.zip" : "two.zip")) {
            cancelled = true;
            downloader_->Cancel();
        }
        return 1;
    });
    Start(DownloadList{Entry("/one.zip", 3), Entry("/two.zip", size)});
    ASSERT_TRUE(recorder_.WaitEnded());
    downloader_.reset();
    auto reports = recorder_.Reports();
    EXPECT_EQ(Cancelled, reports.back().status);
    EXPECT_EQ("two.zip", reports.back().entryName);
    ASSERT_GE(reports.size(), 2u);
    // Nothing is reported between the cancel request and Cancelled: the test after the next
    // read comes before that read's Progress.
    EXPECT_EQ(when, reports[reports.size() - 2].status);
    EXPECT_EQ(when == FileDone ? 0u : 1u, server_.RequestCount("/two.zip"));
    EXPECT_EQ(0u, recorder_.Count(AllDone));
    EXPECT_FALSE(FileExists(Local("two.zip")));
    EXPECT_EQ("one", LocalBytes("one.zip"));
    EXPECT_TRUE(DoneEventSignalled());
}

INSTANTIATE_TEST_SUITE_P(Phases,
                         CancelDuringReport,
                         ::testing::Values(FileDone, FileStarted, Progress),
                         [](const ::testing::TestParamInfo<DownloadStatus>& info) {
                             return info.param == FileDone      ? std::string("FileDone")
                                    : info.param == FileStarted ? std::string("FileStarted")
                                                                : std::string("Progress");
                         });

TEST_F(DownloaderRun, DeletingOwnerMidRunStopsWorkerAndRemovesCopy) {
    server_.Serve("/d.zip", HttpResponse::Ok(PatternBytes(1024 * 1024)));
    KernelHandle paused(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    recorder_.SetHook([&](const Report& r, DownloadEntry*) {
        if (r.status == Progress) {
            downloader_->Pause(true);
            ::SetEvent(paused.get());
        }
        return 1;
    });
    Start(DownloadList{Entry("/d.zip", 1024 * 1024)});
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(paused.get(), 60000));
    size_t before = recorder_.Reports().size();
    downloader_.reset();                            // returns only once the worker has ended
    EXPECT_EQ(before, recorder_.Reports().size());  // an owner going away hears nothing more
    EXPECT_FALSE(FileExists(Local("d.zip")));
}

bool CanTakeFileExclusively(const std::string& path) {
    FileHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid();
}

// A worker held in the network, where it cannot see the cancel request by itself.
struct NetworkHold {
    const char* name;
    bool beforeStatusLine;  // the server keeps quiet from the start; otherwise it stops mid-body
    bool paused;            // the owner paused first, as the progress window does
};

void PrintTo(const NetworkHold& hold, std::ostream* out) {
    *out << hold.name;
}

class CancelWhileHeldInTheNetwork : public DownloadFixture,
                                    public ::testing::WithParamInterface<NetworkHold> {};

TEST_P(CancelWhileHeldInTheNetwork, EndsCancelledWithinTheBoundWithoutForce) {
    const NetworkHold hold = GetParam();
    HttpResponse stalled = HttpResponse::Ok(PatternBytes(200000));
    stalled.holdHead = hold.beforeStatusLine;
    stalled.stallAfter = hold.beforeStatusLine ? HttpResponse::kNever : 50000;
    server_.Serve("/stuck.zip", stalled);
    // The worker's own thread, taken in its first report (the earlier run's file), so that its
    // end can be watched after the run is over.
    HANDLE worker = nullptr;
    recorder_.SetHook([&](const Report& r, DownloadEntry*) {
        if (r.status == FileDone && worker == nullptr) {
            ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(),
                              &worker, SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, 0);
        }
        return 1;
    });
    DownloadList list{Entry("/earlier.zip", 1), Entry("/stuck.zip", 200000), Entry("/next.zip", 1)};
    list[0].SetAlreadyDownloaded(1);
    Start(list);
    // Quiet from the start, the server holds the worker in its send. Mid-body, a read waits for
    // a whole chunk (or the end): three chunks written, the fourth read is the one that waits.
    ASSERT_TRUE(server_.WaitStalled(1, 60000));
    const int64_t written = 3 * EntryTransfer::kChunkSize;
    for (int i = 0; !hold.beforeStatusLine && i < 600 && SizeOnDisk(Local("stuck.zip")) < written;
         ++i) {
        ::Sleep(100);
    }
    ASSERT_TRUE(hold.beforeStatusLine || SizeOnDisk(Local("stuck.zip")) == written);
    ASSERT_NE(nullptr, worker);
    KernelHandle workerThread(worker);
    if (hold.paused) {
        downloader_->Pause(true);
    }
    DWORD start = ::GetTickCount();
    downloader_->Cancel();
    EXPECT_LE(ElapsedSince(start), Downloader::kCancelWaitMs);
    EXPECT_EQ(Cancelled, recorder_.Reports().back().status);
    EXPECT_EQ(0u, recorder_.Count(Failed));
    EXPECT_EQ(0u, recorder_.Count(AllDone));
    EXPECT_TRUE(DoneEventSignalled());
    EXPECT_FALSE(FileExists(Local("stuck.zip")));  // it could not go while still open

    // Once the server goes on, the worker ends by itself: a thread ended by force exits with 0,
    // the worker with the status of its run's last report.
    server_.Release();
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(workerThread.get(), 60000));
    DWORD exitCode = 0;
    ASSERT_TRUE(::GetExitCodeThread(workerThread.get(), &exitCode));
    EXPECT_EQ(static_cast<DWORD>(Cancelled), exitCode) << "the worker was ended by force";
    EXPECT_EQ(1u, recorder_.Count(Cancelled));
    EXPECT_FALSE(FileExists(Local("stuck.zip")));
    EXPECT_EQ(0u, server_.RequestCount("/next.zip"));
    downloader_.reset();
}

INSTANTIATE_TEST_SUITE_P(Holds,
                         CancelWhileHeldInTheNetwork,
                         ::testing::Values(NetworkHold{"BeforeTheStatusLine", true, false},
                                           NetworkHold{"MidBody", false, false},
                                           NetworkHold{"MidBodyPaused", false, true}),
                         [](const ::testing::TestParamInfo<NetworkHold>& info) {
                             return std::string(info.param.name);
                         });

// A report handler that never returns is the one case left for an end by force.
TEST_F(DownloaderRun, CancelEndsWorkerStuckInReportHandler) {
    server_.Serve("/held.zip", HttpResponse::Ok(PatternBytes(100000)));
    KernelHandle never(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    KernelHandle inHandler(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    recorder_.SetHook([&](const Report& r, DownloadEntry*) {
        if (r.status == FileStarted) {
            ::SetEvent(inHandler.get());
            ::WaitForSingleObject(never.get(), INFINITE);  // an owner that never answers
        }
        return 1;
    });
    Start(DownloadList{Entry("/held.zip", 100000)});
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(inHandler.get(), 60000));
    ASSERT_TRUE(FileExists(Local("held.zip")));
    DWORD start = ::GetTickCount();
    downloader_->Cancel();
    // The design's bound, give or take the granularity of the system's clock.
    EXPECT_LE(ElapsedSince(start), Downloader::kCancelWaitMs + 100);
    EXPECT_FALSE(FileExists(Local("held.zip")));
    EXPECT_TRUE(CanTakeFileExclusively(Local("held.zip")));
    EXPECT_EQ(std::vector<DownloadStatus>{FileStarted}, recorder_.Statuses());
    downloader_.reset();
}

}  // namespace
}  // namespace netrefit::test
