#pragma once

#include <QString>

#include <memory>

// A job's claim on the port it talks to, for as long as the job lasts: two jobs at once on one
// port would mix their frames. On Linux the port's exclusive open is the claim (a second opener
// gets EBUSY), so nothing more is taken; on Windows a lock of our own stands beside the open,
// which Wine does not make exclusive.
class PortClaim
{
public:
    // `comName` is "COM3". Taken() is false when another job holds the port; Holder() names it.
    explicit PortClaim(const QString& comName);
    ~PortClaim();
    PortClaim(const PortClaim&) = delete;
    PortClaim& operator=(const PortClaim&) = delete;

    bool Taken() const { return taken_; }
    QString Holder() const { return holder_; } // "orvalenctl (pid 812)"; empty when unknown

private:
    struct Lock;
    std::unique_ptr<Lock> lock_;
    bool taken_ = true;
    QString holder_;
};
