#include "app/TrafficModel.h"

#include "printer/TrafficFormat.h"

#include <QFontDatabase>
#include <QStringList>

TTrafficModel::TTrafficModel(const TTrafficRecord& record, QObject* parent)
    : QAbstractTableModel(parent), fixedFont_(QFontDatabase::systemFont(QFontDatabase::FixedFont))
{
    rows_.reserve(qsizetype(record.Entries().size()));
    for (const TTrafficEntry& entry : record.Entries())
        rows_.append(entry);
    connect(&record, &TTrafficRecord::Added, this, &TTrafficModel::Append);
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
            return HexPairs(entry.Bytes);
        case ReadableColumn:
            return isEvent ? entry.Text : ReadableForm(entry.Bytes);
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
    endResetModel();
}

void TTrafficModel::Append(const TTrafficEntry& entry)
{
    // Bounded like the record itself.
    if (rows_.size() >= TTrafficRecord::Capacity) {
        beginRemoveRows({}, 0, 0);
        rows_.removeFirst();
        endRemoveRows();
    }
    const int row = int(rows_.size());
    beginInsertRows({}, row, row);
    rows_.append(entry);
    endInsertRows();
}
