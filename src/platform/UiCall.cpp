#include "platform/UiCall.h"

#include <QCoreApplication>
#include <QEvent>

// Qt's queue is synchronised inside Qt, where ThreadSanitizer cannot see it (Qt is not built
// for it); these marks tell it that posting a call happens before serving it.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#define ORVALEN_HAPPENS_BEFORE(addr) __tsan_release(addr)
#define ORVALEN_HAPPENS_AFTER(addr) __tsan_acquire(addr)
#else
#define ORVALEN_HAPPENS_BEFORE(addr)
#define ORVALEN_HAPPENS_AFTER(addr)
#endif

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
    ~UiCallEvent() override { ORVALEN_HAPPENS_AFTER(this); }

    std::shared_ptr<UiCall> Call;
    std::function<void()> Fn;
};

} // namespace

bool UiCallTarget::event(QEvent* e)
{
    // Before the first look at the event: ours were made on another thread.
    ORVALEN_HAPPENS_AFTER(e);
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

std::shared_ptr<UiCall> UiCall::Post(UiCallTarget* target, std::function<void()> fn)
{
    std::shared_ptr<UiCall> call(new UiCall);
    auto* event = new UiCallEvent(call, std::move(fn));
    ORVALEN_HAPPENS_BEFORE(event);
    QCoreApplication::postEvent(target, event);
    return call;
}

void UiCall::Send(UiCallTarget* target, std::function<void()> fn)
{
    auto* event = new UiCallEvent(nullptr, std::move(fn));
    ORVALEN_HAPPENS_BEFORE(event);
    QCoreApplication::postEvent(target, event);
}
