#pragma once

// A pseudo-terminal pair for tests that need a serial device. The master end plays the printer;
// the code under test opens the slave by its path (or through a COMn link). The pair keeps its
// own slave descriptor open so that the master does not see a hang-up between the opens of the
// code under test.

#include "platform/UniqueFd.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <termios.h>

class PtyPair : public QObject
{
public:
    // Both ends as the kernel creates them (the slave in the terminal's usual cooked mode); the
    // test reads what the code under test wrote with Receive.
    PtyPair();
    // Both ends raw, the slave reached through a link at `linkPath`; what the program writes is
    // read as it arrives while the event loop runs (Received, Payloads, OnFrame).
    explicit PtyPair(const QString& linkPath);
    ~PtyPair() override;
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool IsOpen() const { return master_.IsOpen(); }
    const QByteArray& Path() const { return path_; }
    int Master() const { return master_.Get(); }
    int Slave() const { return slave_.Get(); }

    // Writes all the bytes to the code under test; false when the line is closed or broken.
    bool Send(const QByteArray& bytes) const;
    // Sends the bytes after the given time on the program's clock.
    void SendAfter(double programSecs, const QByteArray& bytes);
    // What the code under test wrote: waits up to timeoutMs for `count` bytes. Safe to call from
    // another thread than the one that sends.
    QByteArray Receive(int count, int timeoutMs = 2000) const;
    // Waits until the slave has input waiting for the code under test (false at the deadline).
    // Input that is already waiting returns at once: read it first, or wait for a count.
    bool WaitForInput(std::chrono::steady_clock::time_point deadline) const;
    // The slave's settings, as the master sees them.
    termios Settings() const;

    // Every byte received so far while listening (the linked pair), framed or not.
    QByteArray Received() const { return received_; }
    // Payloads of the complete frames received so far, in order.
    QList<QByteArray> Payloads() const { return payloads_; }
    // Called with each complete frame's payload as it arrives.
    std::function<void(const QByteArray& payload)> OnFrame;

    // Holds the device as another program would: an exclusive lock on our own open of it.
    bool HoldExclusively();
    // Unplugs the device: the master closes, the slave side hangs up and the link goes.
    void CloseMaster();

private:
    void ReadAvailable();
    void ParseFrames();

    UniqueFd master_;
    UniqueFd slave_;
    QByteArray path_;
    QString link_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QByteArray received_;
    qsizetype parsed_ = 0;
    QList<QByteArray> payloads_;
};
