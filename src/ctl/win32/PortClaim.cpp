#include "ctl/PortClaim.h"

#include "platform/win32/PortLock.h"
#include "printer/PortRefusals.h"

#include <QCoreApplication>

struct PortClaim::Lock
{
    PortLock Held;
};

PortClaim::PortClaim(const QString& comName)
    : lock_(new Lock{PortLock(comName, QCoreApplication::applicationName())})
{
    // A claim whose file cannot be made (no AppData folder) is no other job: the port's own
    // open decides then.
    taken_ = lock_->Held.Held() || lock_->Held.Error() != ERROR_LOCK_VIOLATION;
    if (taken_)
        return;
    const std::optional<DeviceHolder> holder = PortLockHolder(comName);
    if (holder)
        holder_ = HolderNames({*holder});
    lock_.reset();
}

PortClaim::~PortClaim() = default;
