#include "platform/LineWatch.h"

#include "platform/win32/SerialDeviceSide.h"

namespace {

// Our line events are the system's event-mask bits.
static_assert(LineEvent::RxChar == EV_RXCHAR && LineEvent::RxFlag == EV_RXFLAG &&
              LineEvent::TxEmpty == EV_TXEMPTY && LineEvent::Cts == EV_CTS &&
              LineEvent::Dsr == EV_DSR && LineEvent::Rlsd == EV_RLSD &&
              LineEvent::Break == EV_BREAK && LineEvent::Err == EV_ERR &&
              LineEvent::Ring == EV_RING && LineEvent::PErr == EV_PERR &&
              LineEvent::Rx80Full == EV_RX80FULL && LineEvent::Event1 == EV_EVENT1 &&
              LineEvent::Event2 == EV_EVENT2);

// After this many empty endings in a row the watcher pauses briefly before waiting again, so a
// driver that keeps ending the wait at once cannot make it spin a core.
constexpr int EmptyEndingsBeforePause = 3;
constexpr int EmptyPauseMs = 10;
// While a direct write's bytes are still on their way out, the output queue is looked at this
// often: the watcher reports transmit-empty itself, once per write, as on Linux.
constexpr int TxPeriodMs = 5;

} // namespace

struct LineWatch::Side
{
    Side(SerialDevice& device, quint32 mask, const LineActivity& activity, quint32 rxLimit);
    ~Side() { CancelPending(); }
    quint32 Wait(HANDLE stop, HANDLE wake);
    // What the queue and the error flags show that the mask did not say.
    quint32 Sample(quint32 happened);
    // Ends a pending WaitCommEvent and waits until the system has let go of `ov`.
    void CancelPending();

    SerialDevice& device;
    SerialDevice::Side& port;
    const quint32 mask;
    DWORD systemMask = 0; // what WaitCommEvent waits for
    const LineActivity& activity;
    const quint32 rxLimit;
    UniqueHandle event;
    OVERLAPPED ov{};
    DWORD happened = 0;
    bool pending = false;
    bool haveModem = false;
    quint32 reportedInput = 0;
    bool overLimit = false;
    quint32 seenWrites = 0;
    bool txPending = false;
    int emptyInARow = 0;
    bool gone = false;
    int failure = 0;
};

LineWatch::LineWatch(SerialDevice& device, quint32 mask, const LineActivity& activity,
                     quint32 rxLimit)
    : side_(std::make_unique<Side>(device, mask, activity, rxLimit))
{
}

LineWatch::~LineWatch() = default;

bool LineWatch::SeesEventChar()
{
    return true;
}

quint32 LineWatch::Wait(Waitable stop, Waitable wake)
{
    return side_->Wait(stop, wake);
}

bool LineWatch::HasErrorCounters() const
{
    return true;
}

bool LineWatch::HasModemLines() const
{
    return side_->haveModem;
}

int LineWatch::Failure() const
{
    return side_->failure;
}

LineWatch::Side::Side(SerialDevice& device, quint32 mask, const LineActivity& activity,
                      quint32 rxLimit)
    : device(device), port(device.Own()), mask(mask), activity(activity), rxLimit(rxLimit),
      event(MakeEvent())
{
    // Transmit-empty is ours to tell (once per finished write, see Sample): the driver's would
    // come a second time for the same bytes. Our 80 % mark needs to hear of every arrival.
    systemMask = mask & ~EV_TXEMPTY;
    if (mask & EV_RX80FULL)
        systemMask |= EV_RXCHAR;
    if (!event.IsOpen())
        failure = int(GetLastError());
    else if (systemMask != 0 && !SetCommMask(device.Handle(), systemMask))
        failure = int(GetLastError());
    gone = failure != 0;
    DWORD lines = 0;
    port.ModemStatus(lines, haveModem);
    quint32 output = 0;
    device.QueueCounts(reportedInput, output);
    seenWrites = activity.Writes.load();
}

void LineWatch::Side::CancelPending()
{
    if (!pending)
        return;
    // A change of the mask ends a pending wait on every driver; the cancel is for the rest.
    SetCommMask(device.Handle(), 0);
    CancelIoEx(device.Handle(), &ov);
    DWORD unused = 0;
    GetOverlappedResult(device.Handle(), &ov, &unused, TRUE);
    pending = false;
}

quint32 LineWatch::Side::Sample(quint32 happened)
{
    quint32 found = 0;
    quint32 input = 0, output = 0;
    if (device.QueueCounts(input, output) == 0) {
        if ((input > reportedInput || (happened & EV_RXCHAR)) && (mask & EV_RXCHAR))
            found |= EV_RXCHAR;
        reportedInput = input;
        if (mask & EV_RX80FULL) {
            // The driver's own mark and ours (for a driver that raises none) are one event:
            // reported once until a read has left the queue at or below the limit.
            if (activity.LowestLeft.exchange(~0u) <= rxLimit)
                overLimit = false;
            const bool over = (happened & EV_RX80FULL) || input + activity.Held.load() > rxLimit;
            if (over && !overLimit) {
                found |= EV_RX80FULL;
                overLimit = true;
            }
        }
        if (mask & EV_TXEMPTY) {
            const quint32 writes = activity.Writes.load();
            if (writes != seenWrites || txPending) {
                seenWrites = writes;
                txPending = output > 0;
                if (!txPending)
                    found |= EV_TXEMPTY;
            }
        }
    }
    quint32 errors = 0;
    port.TakeErrors(port.watchErrors, errors);
    if ((errors & ~LineError::Break) && (mask & EV_ERR))
        found |= EV_ERR;
    if ((errors & LineError::Break) && (mask & EV_BREAK))
        found |= EV_BREAK;
    return found;
}

quint32 LineWatch::Side::Wait(HANDLE stop, HANDLE wake)
{
    if (gone || mask == 0) {
        // Nothing more to watch: only the caller's events end the wait.
        WaitForAnyOf({stop, wake}, -1);
        return 0;
    }
    // What a wake-up announced (a finished write) and what came meanwhile.
    if (const quint32 found = Sample(0))
        return found;
    if (systemMask == 0) {
        // Only transmit-empty is watched: the output queue is looked at while bytes are out.
        for (;;) {
            if (WaitForAnyOf({stop, wake}, txPending ? TxPeriodMs : -1) != -1)
                return 0;
            if (const quint32 found = Sample(0))
                return found;
        }
    }
    // The system takes no empty entries: the caller's events first, then the device's.
    HANDLE waits[3] = {};
    DWORD callers = 0;
    for (const HANDLE h : {stop, wake}) {
        if (h)
            waits[callers++] = h;
    }
    for (;;) {
        if (!pending) {
            happened = 0;
            ResetEvent(event.Get());
            ov = OVERLAPPED{};
            ov.hEvent = event.Get();
            if (!WaitCommEvent(device.Handle(), &happened, &ov)) {
                const DWORD error = GetLastError();
                if (error != ERROR_IO_PENDING) {
                    failure = int(error);
                    gone = true;
                    return LineEvent::Gone;
                }
                pending = true;
            }
        }
        if (pending) {
            waits[callers] = event.Get();
            const DWORD waited = WaitForMultipleObjects(callers + 1, waits, FALSE,
                                                        txPending ? TxPeriodMs : INFINITE);
            // The wait stays pending for the next call, which sees what it brings.
            if (waited != WAIT_OBJECT_0 + callers && waited != WAIT_TIMEOUT)
                return 0;
            if (waited == WAIT_OBJECT_0 + callers) {
                DWORD unused = 0;
                pending = false;
                if (!GetOverlappedResult(device.Handle(), &ov, &unused, FALSE)) {
                    // An aborted wait may be a change of the mask or a device that went away
                    // (Wine ends the wait so when the far end of its pseudo-terminal closes):
                    // the queue query tells which.
                    DWORD error = GetLastError();
                    quint32 input = 0, output = 0;
                    if (error == ERROR_OPERATION_ABORTED)
                        error = DWORD(device.QueueCounts(input, output));
                    if (error != 0) {
                        failure = int(error);
                        gone = true;
                        return LineEvent::Gone;
                    }
                    happened = 0;
                }
            }
        }
        const quint32 seen = pending ? 0 : happened;
        if (const quint32 found = (seen & mask & ~(EV_RXCHAR | EV_RX80FULL)) | Sample(seen)) {
            emptyInARow = 0;
            return found;
        }
        if (pending)
            continue;
        if (++emptyInARow >= EmptyEndingsBeforePause &&
            WaitForAnyOf({stop, wake}, EmptyPauseMs) != -1)
            return 0;
    }
}
