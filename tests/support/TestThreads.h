#pragma once
// Threads, a mutex and a condition variable for the tests, on plain Win32.
// The product is built with the win32 thread model, whose C++ library has no std::thread,
// std::mutex or std::condition_variable; these keep their shapes so that std::lock_guard and
// std::unique_lock work with them. Only the tests use condition variables (Vista and later).

#include <windows.h>

#include <process.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

namespace netrefit::test {

class Thread {
  public:
    Thread() = default;
    template <class F, class... Args>
    explicit Thread(F&& f, Args&&... args) {
        auto body = std::make_unique<std::function<void()>>(
            std::bind(std::forward<F>(f), std::forward<Args>(args)...));
        unsigned id = 0;
        auto handle = ::_beginthreadex(nullptr, 0, &Thread::Entry, body.get(), 0, &id);
        if (handle == 0) {
            std::abort();  // a test cannot go on without its thread
        }
        body.release();
        handle_ = reinterpret_cast<HANDLE>(handle);
    }
    ~Thread() {
        if (joinable()) {
            std::abort();  // as std::thread: a running thread must be joined first
        }
    }
    Thread(Thread&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Thread& operator=(Thread&& other) noexcept {
        if (joinable()) {
            std::abort();
        }
        handle_ = std::exchange(other.handle_, nullptr);
        return *this;
    }
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    bool joinable() const { return handle_ != nullptr; }
    void join() {
        ::WaitForSingleObject(handle_, INFINITE);
        ::CloseHandle(handle_);
        handle_ = nullptr;
    }

  private:
    static unsigned __stdcall Entry(void* raw) {
        std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(raw));
        (*body)();
        return 0;
    }

    HANDLE handle_ = nullptr;
};

class Mutex {
  public:
    Mutex() { ::InitializeCriticalSection(&section_); }
    ~Mutex() { ::DeleteCriticalSection(&section_); }
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void lock() { ::EnterCriticalSection(&section_); }
    void unlock() { ::LeaveCriticalSection(&section_); }
    bool try_lock() { return ::TryEnterCriticalSection(&section_) != FALSE; }
    CRITICAL_SECTION* native() { return &section_; }

  private:
    CRITICAL_SECTION section_;
};

class ConditionVariable {
  public:
    ConditionVariable() { ::InitializeConditionVariable(&condition_); }
    ConditionVariable(const ConditionVariable&) = delete;
    ConditionVariable& operator=(const ConditionVariable&) = delete;

    void notify_one() { ::WakeConditionVariable(&condition_); }
    void notify_all() { ::WakeAllConditionVariable(&condition_); }

    void wait(std::unique_lock<Mutex>& lock) {
        ::SleepConditionVariableCS(&condition_, lock.mutex()->native(), INFINITE);
    }
    template <class Predicate>
    void wait(std::unique_lock<Mutex>& lock, Predicate ready) {
        while (!ready()) {
            wait(lock);
        }
    }
    // True when ready() holds, false when the time ran out first.
    template <class Rep, class Period, class Predicate>
    bool wait_for(std::unique_lock<Mutex>& lock,
                  std::chrono::duration<Rep, Period> timeout,
                  Predicate ready) {
        const ULONGLONG end =
            ::GetTickCount64() +
            std::chrono::duration_cast<std::chrono::milliseconds>(timeout).count();
        while (!ready()) {
            const ULONGLONG now = ::GetTickCount64();
            if (now >= end) {
                return false;
            }
            ::SleepConditionVariableCS(&condition_, lock.mutex()->native(),
                                       static_cast<DWORD>(end - now));
        }
        return true;
    }

  private:
    CONDITION_VARIABLE condition_;
};

}  // namespace netrefit::test
