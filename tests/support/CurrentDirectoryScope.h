#pragma once
// The current directory of this process as it was when the scope began comes back at its end,
// whatever a test set meanwhile.

#include <windows.h>

namespace netrefit::test {

class CurrentDirectoryScope {
  public:
    CurrentDirectoryScope() { ::GetCurrentDirectoryA(MAX_PATH, saved_); }
    ~CurrentDirectoryScope() { ::SetCurrentDirectoryA(saved_); }
    CurrentDirectoryScope(const CurrentDirectoryScope&) = delete;
    CurrentDirectoryScope& operator=(const CurrentDirectoryScope&) = delete;

  private:
    char saved_[MAX_PATH] = "";
};

}  // namespace netrefit::test
