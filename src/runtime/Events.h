#pragma once

#include <functional>

class QObject;

// A notification handler: a callable whose first argument is the sender. An empty handler is
// never called.
using TNotifyEvent = std::function<void(QObject* Sender)>;

template <typename Handler, typename... Args> void Fire(const Handler& handler, Args&&... args)
{
    if (handler)
        handler(std::forward<Args>(args)...);
}
