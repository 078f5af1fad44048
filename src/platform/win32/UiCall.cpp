#include "platform/win32/UiCall.h"

#include <QCoreApplication>
#include <QEvent>

#include <system_error>
#include <vector>

namespace {

const QEvent::Type UiCallEventType = QEvent::Type(QEvent::registerEventType());

// The queued call owns its state: the event is deleted on the UI thread, after it ran or when
// the target went first, and a worker that stopped waiting early may already have let go.
class UiCallEvent : public QEvent
{
public:
    UiCallEvent(std::shared_ptr<UiCall> call, std::function<void()> fn)
        : QEvent(UiCallEventType), Call(std::move(call)), Fn(std::move(fn))
    {
    }
    std::shared_ptr<UiCall> Call;
    std::function<void()> Fn;
};

} // namespace

bool UiCallTarget::event(QEvent* e)
{
    if (e->type() != UiCallEventType)
        return QObject::event(e);
    auto* call = static_cast<UiCallEvent*>(e);
    try {
        call->Fn();
    } catch (...) {
        // Callers guard their handlers; nothing may unwind into the event loop.
    }
    if (call->Call)
        call->Call->MarkDone();
    return true;
}

UiCall::UiCall() : done_(MakeEvent())
{
    if (!done_.IsOpen())
        throw std::system_error(int(GetLastError()), std::system_category(), "CreateEvent");
}

std::shared_ptr<UiCall> UiCall::Post(UiCallTarget* target, std::function<void()> fn)
{
    std::shared_ptr<UiCall> call(new UiCall);
    QCoreApplication::postEvent(target, new UiCallEvent(call, std::move(fn)));
    return call;
}

void UiCall::Send(UiCallTarget* target, std::function<void()> fn)
{
    QCoreApplication::postEvent(target, new UiCallEvent(nullptr, std::move(fn)));
}

int WaitForSignalled(std::initializer_list<HANDLE> handles, int timeoutMs)
{
    return WaitForSignalled(std::vector<HANDLE>(handles), timeoutMs);
}

int WaitForSignalled(const std::vector<HANDLE>& handles, int timeoutMs)
{
    // WaitForMultipleObjects takes no empty entries: keep the caller's index for each one.
    std::vector<HANDLE> waited;
    std::vector<int> index;
    int i = 0;
    for (HANDLE h : handles) {
        if (h) {
            waited.push_back(h);
            index.push_back(i);
        }
        ++i;
    }
    if (waited.empty()) {
        Sleep(timeoutMs < 0 ? INFINITE : DWORD(timeoutMs));
        return -1;
    }
    const DWORD r = WaitForMultipleObjects(DWORD(waited.size()), waited.data(), FALSE,
                                           timeoutMs < 0 ? INFINITE : DWORD(timeoutMs));
    if (r == WAIT_TIMEOUT)
        return -1;
    if (r >= WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + waited.size())
        return index[r - WAIT_OBJECT_0];
    return -2;
}
