#pragma once

#include <windows.h>

#include <utility>

// Owns a kernel handle (file, event, thread) and closes it once. Empty is nullptr: CreateFile's
// INVALID_HANDLE_VALUE is turned into nullptr on the way in.
class UniqueHandle
{
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other)
            Reset(std::exchange(other.h_, nullptr));
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE Get() const { return h_; }
    bool IsOpen() const { return h_ != nullptr; }
    void Reset(HANDLE h = nullptr)
    {
        if (h_)
            CloseHandle(h_);
        h_ = h == INVALID_HANDLE_VALUE ? nullptr : h;
    }

private:
    HANDLE h_ = nullptr;
};

// A manual-reset event, not signalled; empty when the system has none to give.
inline UniqueHandle MakeEvent()
{
    return UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
}
