#include "printer/TrafficRecord.h"

#include "printer/TrafficFormat.h"

TTrafficRecord::TTrafficRecord(QObject* parent) : QObject(parent) {}

void TTrafficRecord::Written(const QDateTime& at, const QByteArray& bytes, TWriteOutcome outcome)
{
    if (outcome == TWriteOutcome::PortClosed) {
        Add({at,
             TTrafficDirection::Event,
             {},
             QStringLiteral("Sin puerto abierto: no se envió %1").arg(ReadableForm(bytes)),
             {}});
        return;
    }
    TTrafficEntry entry{at, TTrafficDirection::ToPrinter, bytes, {}, {}};
    if (const std::optional<TDecodedFrame> frame = DecodeFrame(bytes))
        entry.Frames.append(*frame);
    Add(std::move(entry));
    if (outcome == TWriteOutcome::Unconfirmed)
        Event(QStringLiteral("El puerto no confirmó a tiempo el envío de %1 bytes")
                  .arg(bytes.size()));
}

void TTrafficRecord::Received(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    TTrafficEntry entry{Clock(), TTrafficDirection::FromPrinter, bytes, {}, {}};
    for (const QByteArray& frame : replies_.Feed(bytes))
        if (const std::optional<TDecodedFrame> decoded = DecodeFrame(frame))
            entry.Frames.append(*decoded);
    Add(std::move(entry));
}

void TTrafficRecord::Event(const QString& text)
{
    // One line per entry in the log: an error text with line breaks is joined up.
    Add({Clock(), TTrafficDirection::Event, {}, text.simplified(), {}});
}

void TTrafficRecord::Add(TTrafficEntry entry)
{
    entries_.push_back(std::move(entry));
    if (qsizetype(entries_.size()) > Capacity)
        entries_.pop_front();
    emit Added(entries_.back());
}
