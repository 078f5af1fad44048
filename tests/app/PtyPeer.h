#pragma once

// Plays the printer's side of the line in a test: a pseudo-terminal whose slave is reached
// through a link (ORVALEN_COM_DIR/comN), and whose master the test reads and writes.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include <functional>
#include <memory>

class PtyPeer : public QObject
{
public:
    explicit PtyPeer(const QString& linkPath);
    ~PtyPeer() override;

    // Every byte received from the program, framed or not.
    QByteArray Received() const { return received_; }
    // Payloads of the complete frames received so far, in order.
    QList<QByteArray> Payloads() const { return payloads_; }
    // Called with each complete frame's payload as it arrives.
    std::function<void(const QByteArray& payload)> OnFrame;

    void Write(const QByteArray& bytes);
    // Writes the bytes after the given time on the program's clock.
    void WriteAfter(double programSecs, const QByteArray& bytes);
    // Holds the device as another program would: an exclusive lock on our own open of it.
    bool HoldExclusively();
    // Closes the far end: the program's port sees the device go away.
    void Vanish();

private:
    void ReadAvailable();
    void ParseFrames();

    QString link_;
    int master_ = -1;
    int slave_ = -1; // held open so that the master does not see a hang-up between opens
    std::unique_ptr<QSocketNotifier> notifier_;
    QByteArray received_;
    qsizetype parsed_ = 0;
    QList<QByteArray> payloads_;
};
