#pragma once

#include "printer/TrafficRecord.h"

#include <QAbstractTableModel>
#include <QFont>
#include <QList>

// The traffic record as table rows for the traffic window: what the record held when the model
// was made, then every entry as it comes. Clear empties the rows, not the record (the log file
// and a window opened later still get everything).
class TTrafficModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column
    {
        TimeColumn,
        DirectionColumn,
        HexColumn,
        ReadableColumn,
        FramesColumn,
        ColumnCount
    };

    explicit TTrafficModel(const TTrafficRecord& record, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const TTrafficEntry& Entry(int row) const { return rows_.at(row); }
    void Clear();

    // "→ impresora", "← impresora" or "evento".
    static QString DirectionText(TTrafficDirection direction);
    // The frames of an entry in words, one per line; empty when there are none.
    static QString FramesText(const TTrafficEntry& entry);

private:
    void Append(const TTrafficEntry& entry);

    QList<TTrafficEntry> rows_;
    QFont fixedFont_; // the desktop's fixed-width font, for the bytes
};
