#include "ctl/PortClaim.h"

// The port's exclusive open claims it.
struct PortClaim::Lock
{
};

PortClaim::PortClaim(const QString&) {}
PortClaim::~PortClaim() = default;
