#pragma once
// Environment variables of this process set for one scope, so that a child started meanwhile
// inherits them; the earlier values come back at its end.

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace netrefit::test {

class ScopedEnvironment {
  public:
    // Lines of "NAME=value".
    explicit ScopedEnvironment(const std::vector<std::string>& lines) {
        for (const std::string& line : lines) {
            size_t equals = line.find('=');
            std::string name = line.substr(0, equals);
            saved_.emplace_back(name, Value(name));
            ::SetEnvironmentVariableA(name.c_str(), line.substr(equals + 1).c_str());
        }
    }
    ~ScopedEnvironment() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            ::SetEnvironmentVariableA(it->first.c_str(),
                                      it->second.first ? it->second.second.c_str() : nullptr);
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  private:
    // Whether the variable was set, and its value.
    using Saved = std::pair<bool, std::string>;
    static Saved Value(const std::string& name) {
        std::vector<char> value(32767);
        DWORD length =
            ::GetEnvironmentVariableA(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
        if (length == 0 && ::GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
            return {false, std::string()};
        }
        return {true, std::string(value.data(), length < value.size() ? length : 0)};
    }

    std::vector<std::pair<std::string, Saved>> saved_;
};

}  // namespace netrefit::test
