#include "app/TrafficModel.h"

#include "printer/TrafficFormat.h"

#include <QFontDatabase>
#include <QStringList>

#include <algorithm>

TTrafficModel::TTrafficModel(const TTrafficRecord& record, QObject* parent)
    : QAbstractTableModel(parent), fixedFont_(QFontDatabase::systemFont(QFontDatabase::FixedFont))
{
    rows_.reserve(qsizetype(record.Entries().size()));
    for (const TTrafficEntry& entry : record.Entries())
        rows_.append(entry);
    connect(&record, &TTrafficRecord::Added, this, &TTrafficModel::Append);
    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(FlushIntervalMs);
    connect(&flushTimer_, &QTimer::timeout, this, &TTrafficModel::Flush);
}

int TTrafficModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int TTrafficModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString TTrafficModel::DirectionText(TTrafficDirection direction)
{
    switch (direction) {
    case TTrafficDirection::ToPrinter:
        return QStringLiteral("→ impresora");
    case TTrafficDirection::FromPrinter:
        return QStringLiteral("← impresora");
    case TTrafficDirection::Event:
        break;
    }
    return QStringLiteral("evento");
}

QString TTrafficModel::FramesText(const TTrafficEntry& entry)
{
    QStringList frames;
    for (const TDecodedFrame& frame : entry.Frames)
        frames << FrameParts(frame);
    return frames.join(QLatin1Char('\n'));
}

QVariant TTrafficModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rows_.size())
        return {};
    const TTrafficEntry& entry = rows_.at(index.row());
    const bool isEvent = entry.Direction == TTrafficDirection::Event;
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole || role == Qt::AccessibleTextRole) {
        switch (index.column()) {
        case TimeColumn:
            return role == Qt::DisplayRole
                       ? entry.Time.toString(QStringLiteral("HH:mm:ss.zzz"))
                       : entry.Time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        case DirectionColumn:
            return DirectionText(entry.Direction);
        case HexColumn:
        case ReadableColumn: {
            // A cell shows the start of a long reply: laying out all of it at each paint would
            // cost far more than the row can show.
            const QByteArray bytes =
                role == Qt::DisplayRole ? entry.Bytes.left(CellChars / 3 + 1) : entry.Bytes;
            QString text = index.column() == HexColumn ? HexPairs(bytes)
                           : isEvent                   ? entry.Text
                                                       : ReadableForm(bytes);
            if (role == Qt::DisplayRole &&
                (bytes.size() < entry.Bytes.size() || text.size() > CellChars))
                text = text.left(CellChars) + QStringLiteral("…");
            return text;
        }
        case FramesColumn:
            // A row is one line high: the frames completed by one read go side by side.
            return role == Qt::DisplayRole
                       ? FramesText(entry).replace(QLatin1Char('\n'), QStringLiteral(" / "))
                       : FramesText(entry);
        }
    }
    if (role == Qt::FontRole && !isEvent &&
        (index.column() == HexColumn || index.column() == ReadableColumn))
        return fixedFont_;
    return {};
}

QVariant TTrafficModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case TimeColumn:
        return QStringLiteral("Hora");
    case DirectionColumn:
        return QStringLiteral("Sentido");
    case HexColumn:
        return QStringLiteral("Bytes (hex)");
    case ReadableColumn:
        return QStringLiteral("Texto");
    case FramesColumn:
        return QStringLiteral("Trama");
    }
    return {};
}

void TTrafficModel::Clear()
{
    beginResetModel();
    rows_.clear();
    pending_.clear();
    flushTimer_.stop();
    endResetModel();
}

void TTrafficModel::Append(const TTrafficEntry& entry)
{
    // Bounded like the record itself, also while waiting.
    if (pending_.size() >= TTrafficRecord::Capacity)
        pending_.removeFirst();
    pending_.append(entry);
    if (!flushTimer_.isActive())
        flushTimer_.start();
}

void TTrafficModel::Flush()
{
    flushTimer_.stop();
    if (pending_.isEmpty())
        return;
    const qsizetype excess =
        std::min(rows_.size(), rows_.size() + pending_.size() - TTrafficRecord::Capacity);
    if (excess > 0) {
        beginRemoveRows({}, 0, int(excess) - 1);
        rows_.remove(0, excess);
        endRemoveRows();
    }
    const int first = int(rows_.size());
    beginInsertRows({}, first, first + int(pending_.size()) - 1);
    rows_.append(std::move(pending_));
    pending_.clear();
    endInsertRows();
}
