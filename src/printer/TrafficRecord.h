#pragma once

#include "printer/FrameDecoder.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <deque>
#include <functional>

enum class TTrafficDirection
{
    ToPrinter,   // bytes written to the port
    FromPrinter, // bytes read from it
    Event,       // something the link did or found, in words
};

struct TTrafficEntry
{
    QDateTime Time; // local time, to the millisecond
    TTrafficDirection Direction = TTrafficDirection::Event;
    QByteArray Bytes; // what went over the wire (empty for an event)
    QString Text;     // the event's words (empty for bytes)
    // The frames these bytes are or complete: the frame written, or the replies whose last
    // bytes came in this read.
    QList<TDecodedFrame> Frames;
};

// How a write to the port went, as far as the link can tell.
enum class TWriteOutcome
{
    Written,     // all bytes taken and sent within the port's limit
    PortClosed,  // nothing written: no port open
    Unconfirmed, // handed to the device, but not confirmed sent in time
};

// What went over the printer's line and what the link did around it, in order: frames and raw
// bytes written, every read of the poll tick that brought bytes, and the search's events. It only
// watches: the link calls it after the fact and nothing here feeds back into the link. The most
// recent Capacity entries stay in memory; Added tells followers (the log file, the traffic
// window) of every entry as it comes.
class TTrafficRecord : public QObject
{
    Q_OBJECT
public:
    static constexpr qsizetype Capacity = 10000;

    explicit TTrafficRecord(QObject* parent = nullptr);

    // The clock of the entries; tests set their own.
    std::function<QDateTime()> Clock = [] { return QDateTime::currentDateTime(); };

    // Bytes written at the given time (taken before the write, which may take a while).
    void Written(const QDateTime& at, const QByteArray& bytes, TWriteOutcome outcome);
    // Bytes one read brought; an empty read is not an entry.
    void Received(const QByteArray& bytes);
    void Event(const QString& text);

    const std::deque<TTrafficEntry>& Entries() const { return entries_; }

signals:
    void Added(const TTrafficEntry& entry);

private:
    void Add(TTrafficEntry entry);

    std::deque<TTrafficEntry> entries_;
    TReplyFrames replies_;
};
