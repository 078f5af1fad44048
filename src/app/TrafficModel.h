#pragma once

#include "printer/TrafficRecord.h"

#include <QAbstractTableModel>
#include <QFont>
#include <QList>
#include <QTimer>

// The traffic record as table rows for the traffic window: what the record held when the model
// was made, then every entry as it comes. Clear empties the rows, not the record (the log file
// and a window opened later still get everything).
//
// New entries come in batches, at most one per FlushInterval: a flooding printer or a long reply
// read in many pieces costs the view one insertion and one paint per batch, not one per read.
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

    // How long a new entry may wait before it shows.
    static constexpr int FlushIntervalMs = 100;
    // The most characters a cell shows of a long reply; the detail pane and the tooltip hold all.
    static constexpr qsizetype CellChars = 400;

    const TTrafficEntry& Entry(int row) const { return rows_.at(row); }
    void Clear();
    // Makes the entries still waiting rows now.
    void Flush();

    // "→ impresora", "← impresora" or "evento".
    static QString DirectionText(TTrafficDirection direction);
    // The frames of an entry in words, one per line; empty when there are none.
    static QString FramesText(const TTrafficEntry& entry);

private:
    void Append(const TTrafficEntry& entry);

    QList<TTrafficEntry> rows_;
    QList<TTrafficEntry> pending_;
    QTimer flushTimer_;
    QFont fixedFont_; // the desktop's fixed-width font, for the bytes
};
