#pragma once

// The simulated printer as a separate process on a pseudo-terminal, reached through a link.

#include <QProcess>
#include <QString>
#include <QStringList>

class Simulator
{
public:
    // Starts the simulator with its link at `link` and waits until the link is in place.
    Simulator(const QString& link, const QStringList& options, double timeScale);
    ~Simulator();

    bool Ready() const { return ready_; }
    // Everything the simulator has printed so far.
    QString Log();
    // What it received, one frame (or run of stray bytes) per "RX" line of its log.
    int FramesReceived();
    // The log lines of the well-formed frames it received.
    QStringList Frames();

private:
    QProcess process_;
    QString log_;
    bool ready_ = false;
};
