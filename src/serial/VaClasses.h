#pragma once

#include "platform/SignalEvent.h"

#include <QObject>

#include <initializer_list>
#include <memory>
#include <mutex>

// A set of enumeration values, stored as a bit field with bit n for the value of ordinal n.
template <typename Enum, typename Bits> class TVaSet
{
public:
    constexpr TVaSet() = default;
    constexpr TVaSet(std::initializer_list<Enum> values)
    {
        for (Enum v : values)
            bits_ |= Bit(v);
    }
    static constexpr TVaSet FromBits(Bits bits)
    {
        TVaSet s;
        s.bits_ = bits;
        return s;
    }

    constexpr bool Contains(Enum v) const { return (bits_ & Bit(v)) != 0; }
    constexpr TVaSet& Include(Enum v)
    {
        bits_ |= Bit(v);
        return *this;
    }
    constexpr TVaSet& Exclude(Enum v)
    {
        bits_ &= Bits(~Bit(v));
        return *this;
    }
    constexpr bool IsEmpty() const { return bits_ == 0; }
    constexpr Bits ToBits() const { return bits_; }
    friend constexpr bool operator==(TVaSet, TVaSet) = default;

private:
    static constexpr Bits Bit(Enum v) { return Bits(Bits(1) << static_cast<int>(v)); }
    Bits bits_ = 0;
};

// Thread priorities, with the values the scheduler table of the platform used.
enum TThreadPriority
{
    tpIdle,
    tpLowest,
    tpLower,
    tpNormal,
    tpHigher,
    tpHighest,
    tpTimeCritical
};
int ThreadPriorityValue(TThreadPriority priority);
// The same priorities as offsets of a thread's nice value from the process's own (negative is
// more urgent). Raising needs privileges on Linux; without them a raise is capped at what the
// process may do, so an ordinary user's port still opens with the default tpHighest writer.
int ThreadNiceOffset(TThreadPriority priority);

// Base of the reusable components: owner is the QObject parent, name is the objectName. The
// component state tells whether it is being loaded, designed or destroyed.
class TVaComponent : public QObject
{
    Q_OBJECT
public:
    explicit TVaComponent(QObject* owner = nullptr) : QObject(owner) {}

    QObject* Owner() const { return parent(); }
    QString Name() const { return objectName(); }
    void SetName(const QString& name) { setObjectName(name); }

    bool IsLoading() const { return loading_; }
    bool IsDesigning() const { return designing_; }
    bool IsDestroying() const { return destroying_; }
    // Whoever applies stored properties marks the component as loading, then calls Loaded.
    void BeginLoading() { loading_ = true; }
    void SetDesigning(bool designing) { designing_ = designing; }

    // Called once after the stored properties have been applied.
    virtual void Loaded() { loading_ = false; }

protected:
    // Derived destructors call this first, so that their clean-up knows it runs at the end.
    void MarkDestroying() { destroying_ = true; }

private:
    bool loading_ = false;
    bool designing_ = false;
    bool destroying_ = false;
};

// Outcome of a wait on a handle object.
enum TVaWaitResult
{
    wrSignaled,
    wrTimeout,
    wrAbandoned,
    wrError
};

// Wait without a time limit.
inline constexpr int VaInfinite = -1;

// Owns one waitable object of the system (the platform layer's event). WaitFor never spins: it
// sleeps in the system's wait.
class TVaHandleObject
{
public:
    // Throws std::system_error when the system has no event left to give.
    TVaHandleObject() = default;
    virtual ~TVaHandleObject();
    TVaHandleObject(const TVaHandleObject&) = delete;
    TVaHandleObject& operator=(const TVaHandleObject&) = delete;

    Waitable Handle() const { return event_.Handle(); }
    int LastError() const { return lastError_; }
    // Waits at most timeoutMs real milliseconds (VaInfinite: no limit); on wrError the system's
    // error code is in LastError.
    TVaWaitResult WaitFor(int timeoutMs);

protected:
    SignalEvent event_;
    int lastError_ = 0;
};

// Waits for the first of several objects to be signalled. Returns its index, -1 on time-out and
// -2 on failure. When several are signalled the one listed first wins.
int WaitForAny(std::initializer_list<TVaHandleObject*> objects, int timeoutMs);

class TVaEvent : public TVaHandleObject
{
public:
    void Signal();
    void Unsignal();

private:
    // The state is also kept here, so that signalling a signalled event (the writer does it for
    // every chunk) costs no system call. Every change goes through these two operations.
    std::mutex stateLock_;
    bool signalled_ = false;
};

// A manual-reset event, initially not signalled: it stays signalled until Unsignal. It can be
// waited on together with a device (see WaitForAnyOf).
class TVaWaitEvent : public TVaEvent
{
};

// A lock that the same thread may take again; Enter/Leave, or std::lock_guard.
class TVaCriticalSection
{
public:
    void Enter() { mutex_.lock(); }
    void Leave() { mutex_.unlock(); }
    void lock() { Enter(); }
    void unlock() { Leave(); }

private:
    std::recursive_mutex mutex_;
};

// The write queue: a block of fixed capacity and the number of bytes queued at its front. The
// block never moves or grows. The port's WriteLock guards it.
class TVaCommBuffer
{
public:
    explicit TVaCommBuffer(int capacity);

    char* Data() { return data_.get(); }
    int Size() const { return size_; }
    int Capacity() const { return capacity_; }
    // Copies count bytes behind the queued ones. The caller makes sure they fit; bytes that
    // would not fit are dropped rather than written past the block.
    void Append(const char* data, int count);
    // Removes count bytes from the front; the rest moves up.
    void Consume(int count);

private:
    std::unique_ptr<char[]> data_;
    int capacity_;
    int size_ = 0;
};
