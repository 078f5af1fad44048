#pragma once

#include <QString>
#include <QWidget>

#include <functional>

class QPlainTextEdit;
class QPushButton;
class QTableView;
class TTrafficModel;
class TTrafficRecord;

// "Tráfico": the conversation with the printer, live. A window of its own beside the main window
// (never over it), in the desktop's font and palette. One row per entry of the traffic record;
// the selected entry is shown in full below the table. Guardar… writes the rows in the log file's
// shape (UTF-8), Copiar puts the selected rows on the clipboard in that shape, Limpiar empties
// the view (the record and the log file keep everything).
class TTrafficWindow : public QWidget
{
    Q_OBJECT
public:
    explicit TTrafficWindow(const TTrafficRecord& record, QWidget* parent = nullptr);
    ~TTrafficWindow() override;

    // Asks where to save; an empty answer cancels. Tests replace the file dialog.
    std::function<QString()> AskSavePath;

    // Shows the window beside `mainWindow` (or raises it when it is already shown).
    void ShowBeside(const QWidget* mainWindow);

    // The rows in the log file's shape, one line each.
    QString RowsText() const;
    QString SelectedRowsText() const;
    // Writes the rows to the file; tells the user and returns false when that fails.
    bool SaveTo(const QString& path);

    QTableView* Table() const { return table_; }
    TTrafficModel* Model() const { return model_; }
    QPlainTextEdit* Detail() const { return detail_; }
    QPushButton* SaveButton() const { return save_; }
    QPushButton* CopyButton() const { return copy_; }
    QPushButton* ClearButton() const { return clear_; }

private:
    void Save();
    void Copy();
    void ShowSelected();
    void FollowNewRows(int first);
    QString RowsText(const QList<int>& rows) const;

    TTrafficModel* model_ = nullptr;
    QTableView* table_ = nullptr;
    QPlainTextEdit* detail_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* copy_ = nullptr;
    QPushButton* clear_ = nullptr;
    bool placed_ = false;
};
