#pragma once
// Report codes of the extraction worker and the shape of its report function.

#include <cstdint>
#include <string>

namespace netrefit {

enum ExtractStatus : int32_t {
    ExtractStarted = 17,
    ArchiveDone = 18,
    ExtractFailed = 19,
    ExtractProgress = 20,
    ExtractDone = 21,
    ExtractCancelled = 22,
};

// Called on the worker thread (the reports of Start come on the caller's thread). The two
// positions are thousandths of all archives' and of the current archive's bytes. The result is
// ignored; the function may block, and the worker waits for it.
using ExtractCallback = int32_t (*)(void* owner,
                                    std::string text,
                                    ExtractStatus status,
                                    int32_t overallPerMille,
                                    int32_t filePerMille);

}  // namespace netrefit
