#pragma once
// Runs a dialog modally on the test's thread while a driver thread works its windows. The driver
// only observes and presses; the test asserts on what it saw once the dialog has ended.

#include <windows.h>

#include <functional>
#include "support/TestThreads.h"

#include "ui/DialogBase.h"

namespace netrefit::test {

inline INT_PTR RunDriven(Dialog& dialog, const std::function<void()>& driver) {
    test::Thread thread(driver);
    INT_PTR result = dialog.RunModal();
    thread.join();
    return result;
}

}  // namespace netrefit::test
