#include "app/TrafficWindow.h"

#include "app/TrafficModel.h"
#include "printer/TrafficFormat.h"
#include "runtime/Application.h"

#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <numeric>

namespace {

// Room between the main window and this one.
constexpr int GapPx = 8;
// Below this the window is too narrow to read a frame; it then goes below the main window.
constexpr int MinUsefulWidth = 420;
constexpr int MinUsefulHeight = 240;
// Widths of the byte columns, in average characters of the desktop font.
// Room around a cell's text (the style's margins and the grid line).
constexpr int CellPaddingPx = 16;
constexpr int HexColumnChars = 36;
constexpr int ReadableColumnChars = 28;
// Room for those and the start of the decoded frame.
constexpr int WantedWidthChars = 130;

} // namespace

TTrafficWindow::TTrafficWindow(const TTrafficRecord& record, QWidget* parent) : QWidget(parent)
{
    setWindowFlag(Qt::Window);
    setObjectName(QStringLiteral("Trafico"));
    setWindowTitle(QStringLiteral("Tráfico"));
    setAccessibleName(QStringLiteral("Tráfico con la impresora"));

    model_ = new TTrafficModel(record, this);
    table_ = new QTableView;
    table_->setModel(model_);
    table_->setAccessibleName(QStringLiteral("Entradas del tráfico"));
    table_->setAccessibleDescription(
        QStringLiteral("Hora, sentido, bytes en hexadecimal, texto y trama de cada entrada"));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(false);
    table_->setTabKeyNavigation(false);
    table_->verticalHeader()->hide();
    // Fixed widths: sizing to the contents would measure every row at each new entry.
    const QFontMetrics metrics = table_->fontMetrics();
    const int charPx = metrics.averageCharWidth();
    const auto textPx = [&metrics](const QString& text) {
        return metrics.horizontalAdvance(text) + CellPaddingPx;
    };
    QHeaderView* header = table_->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->resizeSection(TTrafficModel::TimeColumn, textPx(QStringLiteral("00:00:00.000")));
    header->resizeSection(TTrafficModel::DirectionColumn,
                          textPx(TTrafficModel::DirectionText(TTrafficDirection::FromPrinter)));
    header->resizeSection(TTrafficModel::HexColumn, HexColumnChars * charPx);
    header->resizeSection(TTrafficModel::ReadableColumn, ReadableColumnChars * charPx);
    header->setStretchLastSection(true);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);

    detail_ = new QPlainTextEdit;
    detail_->setReadOnly(true);
    detail_->setAccessibleName(QStringLiteral("Detalle de la entrada seleccionada"));
    detail_->setTabChangesFocus(true);
    detail_->setPlaceholderText(QStringLiteral("Seleccione una entrada para verla completa."));

    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(table_);
    splitter->addWidget(detail_);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    splitter->setChildrenCollapsible(false);

    save_ = new QPushButton(QStringLiteral("&Guardar…"));
    save_->setAccessibleDescription(QStringLiteral("Guarda el tráfico mostrado en un archivo"));
    copy_ = new QPushButton(QStringLiteral("&Copiar"));
    copy_->setAccessibleDescription(QStringLiteral("Copia las entradas seleccionadas"));
    copy_->setEnabled(false);
    clear_ = new QPushButton(QStringLiteral("&Limpiar"));
    clear_->setAccessibleDescription(QStringLiteral("Vacía la lista mostrada"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(save_);
    buttons->addWidget(copy_);
    buttons->addWidget(clear_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);
    layout->addLayout(buttons);

    AskSavePath = [this] {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Guardar tráfico"),
                                            QStringLiteral("trafico.txt"),
                                            QStringLiteral("Texto (*.txt);;Todos (*)"));
    };
    connect(save_, &QPushButton::clicked, this, &TTrafficWindow::Save);
    connect(copy_, &QPushButton::clicked, this, &TTrafficWindow::Copy);
    connect(clear_, &QPushButton::clicked, model_, &TTrafficModel::Clear);
    auto* copyKey = new QShortcut(QKeySequence::Copy, table_, nullptr, nullptr, Qt::WidgetShortcut);
    connect(copyKey, &QShortcut::activated, this, &TTrafficWindow::Copy);
    auto* closeKey = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(closeKey, &QShortcut::activated, this, &QWidget::close);

    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TTrafficWindow::ShowSelected);
    connect(model_, &QAbstractItemModel::modelReset, this, &TTrafficWindow::ShowSelected);
    connect(model_, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int) { FollowNewRows(first); });
    table_->scrollToBottom();
}

TTrafficWindow::~TTrafficWindow() = default;

void TTrafficWindow::ShowBeside(const QWidget* mainWindow)
{
    if (!placed_ && mainWindow) {
        placed_ = true;
        const QRect main = mainWindow->frameGeometry();
        const QRect screen = mainWindow->screen() ? mainWindow->screen()->availableGeometry()
                                                  : QRect(main.topLeft(), QSize(1024, 768));
        // Our frame is not known before the window is shown: take the main window's.
        const QSize frame = main.size() - mainWindow->geometry().size();
        const QSize wanted(WantedWidthChars * table_->fontMetrics().averageCharWidth(),
                           main.height());
        const int rightSpace = screen.right() - main.right() - GapPx - frame.width();
        const int leftSpace = main.left() - screen.left() - GapPx - frame.width();
        const int belowSpace = screen.bottom() - main.bottom() - GapPx - frame.height();
        QRect place;
        if (rightSpace >= MinUsefulWidth) {
            place = QRect(main.right() + 1 + GapPx, main.top(),
                          std::min(wanted.width(), rightSpace), wanted.height());
        } else if (leftSpace >= MinUsefulWidth) {
            const int width = std::min(wanted.width(), leftSpace);
            place = QRect(main.left() - GapPx - frame.width() - width, main.top(), width,
                          wanted.height());
        } else if (belowSpace >= MinUsefulHeight) {
            place = QRect(screen.left(), main.bottom() + 1 + GapPx,
                          std::min(wanted.width(), screen.width() - frame.width()),
                          std::min(wanted.height(), belowSpace));
        }
        // On a screen too small for both, it has to overlap: it goes to the screen's corner,
        // within the screen, and the user moves it.
        if (!place.isValid())
            place = QRect(screen.topLeft(),
                          wanted.boundedTo(screen.size() - frame - QSize(GapPx, GapPx)));
        move(place.topLeft());
        resize(place.size());
    }
    show();
    raise();
    activateWindow();
}

QString TTrafficWindow::RowsText(const QList<int>& rows) const
{
    QString text;
    for (int row : rows)
        text += TrafficLine(model_->Entry(row)) + QLatin1Char('\n');
    return text;
}

QString TTrafficWindow::RowsText() const
{
    model_->Flush();
    QList<int> rows(model_->rowCount());
    std::iota(rows.begin(), rows.end(), 0);
    return RowsText(rows);
}

QString TTrafficWindow::SelectedRowsText() const
{
    QList<int> rows;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return RowsText(rows);
}

bool TTrafficWindow::SaveTo(const QString& path)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(RowsText().toUtf8());
        if (file.commit())
            return true;
    }
    Application().MessageBox(
        QStringLiteral("No se pudo guardar el tráfico en %1: %2").arg(path, file.errorString()));
    return false;
}

void TTrafficWindow::Save()
{
    const QString path = AskSavePath ? AskSavePath() : QString();
    if (!path.isEmpty())
        SaveTo(path);
}

void TTrafficWindow::Copy()
{
    const QString text = SelectedRowsText();
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

void TTrafficWindow::ShowSelected()
{
    const QModelIndexList rows = table_->selectionModel()->selectedRows();
    copy_->setEnabled(!rows.isEmpty());
    if (rows.size() != 1) {
        detail_->clear();
        return;
    }
    const TTrafficEntry& entry = model_->Entry(rows.first().row());
    QString text = entry.Time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) +
                   QLatin1Char(' ') + TTrafficModel::DirectionText(entry.Direction) +
                   QLatin1Char('\n');
    if (entry.Direction == TTrafficDirection::Event) {
        text += entry.Text;
    } else {
        text += HexPairs(entry.Bytes) + QLatin1Char('\n') + ReadableForm(entry.Bytes);
        const QString frames = TTrafficModel::FramesText(entry);
        if (!frames.isEmpty())
            text += QLatin1Char('\n') + frames;
    }
    detail_->setPlainText(text);
}

void TTrafficWindow::FollowNewRows(int first)
{
    // Follow the conversation while the user reads the end of it; leave the view alone while
    // they look further up.
    QScrollBar* bar = table_->verticalScrollBar();
    const bool atEnd =
        first == 0 ||
        bar->value() >= bar->maximum() - table_->verticalHeader()->defaultSectionSize();
    if (atEnd)
        table_->scrollToBottom();
}
