// The traffic window on a main window whose COM3 is a pseudo-terminal played by the test.

#include "FormFixture.h"

#include "app/TrafficModel.h"
#include "app/TrafficWindow.h"
#include "printer/Frame.h"
#include "printer/Payloads.h"
#include "printer/TrafficRecord.h"
#include "runtime/Wait.h"

#include <QAbstractItemModel>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFile>
#include <QGuiApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

class TrafficWindowTest : public FormFixture
{
protected:
    void SetUp() override
    {
        FormFixture::SetUp();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    TTrafficWindow* OpenWithCtrlT()
    {
        QTest::keyClick(form.get(), Qt::Key_T, Qt::ControlModifier);
        return form->TrafficWindow();
    }

    QString Cell(int row, int column) const
    {
        const TTrafficModel* model = form->TrafficWindow()->Model();
        return model->data(model->index(row, column), Qt::DisplayRole).toString();
    }

    // The printer answers every frame with a reply of its own, in two reads.
    void AnswerInTwoPieces(const QByteArray& reply)
    {
        peer->OnFrame = [this, reply](const QByteArray&) {
            peer->Send(reply.left(5));
            peer->SendAfter(1.5, reply.mid(5));
        };
    }
};

TEST_F(TrafficWindowTest, CtrlTOpensItBesideTheMainWindowWhichStaysAsItWas)
{
    const QRect mainBefore = form->geometry();
    const QFont mainFont = form->font();
    TTrafficWindow* window = OpenWithCtrlT();
    ASSERT_TRUE(window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_TRUE(window->isWindow());
    EXPECT_FALSE(window->isModal());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Tráfico"));
    EXPECT_FALSE(window->frameGeometry().intersects(form->frameGeometry()));
    EXPECT_EQ(form->geometry(), mainBefore);
    EXPECT_EQ(form->font(), mainFont);
    // The desktop's font, not the main window's fixed Arial.
    EXPECT_EQ(window->font(), QApplication::font());

    // A second Ctrl+T from the main window brings the same window back.
    window->close();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    EXPECT_EQ(OpenWithCtrlT(), window);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(TrafficWindowTest, ReplyBoxMenuKeepsItsEntriesAndOpensTheWindow)
{
    QStringList entries;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction* action : menu->actions())
            if (!action->isSeparator())
                entries << action->text();
        for (QAction* action : menu->actions())
            if (action->objectName() == QStringLiteral("verTrafico"))
                action->trigger();
        menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(5, 5),
                            form->respuesta->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(form->respuesta, &event);

    ASSERT_GE(entries.size(), 3) << "the standard entries are gone";
    EXPECT_EQ(entries.last(), QStringLiteral("Ver tráfico…"));
    ASSERT_TRUE(form->TrafficWindow());
    EXPECT_TRUE(form->TrafficWindow()->isVisible());
}

TEST_F(TrafficWindowTest, EntriesShowLiveWithFramesDecoded)
{
    TTrafficWindow* window = OpenWithCtrlT();
    ASSERT_TRUE(window);
    bool sending = false;
    QStringList seenDuring;
    QObject::connect(window->Model(), &QAbstractItemModel::rowsInserted,
                     [&](auto&, int first, int last) {
                         for (int row = first; sending && row <= last; ++row)
                             seenDuring << Cell(row, TTrafficModel::DirectionColumn);
                     });

    AnswerInTwoPieces(BuildFrame('D', "HA\x1C"
                                      "0100"));
    sending = true;
    form->EnviaComando(PayloadAbreNF());
    window->Model()->Flush(); // the rows still waiting for the view's next batch
    sending = false;
    EXPECT_EQ(seenDuring,
              (QStringList{"→ impresora", "← impresora", "← impresora"})); // the reply in 2 reads
    const int rows = window->Model()->rowCount();
    ASSERT_EQ(rows, 3);
    EXPECT_EQ(Cell(0, TTrafficModel::HexColumn), QStringLiteral("02 44 48 03 30 30 39 31"));
    EXPECT_EQ(Cell(0, TTrafficModel::ReadableColumn), QStringLiteral("<STX>DH<ETX>0091"));
    EXPECT_EQ(Cell(0, TTrafficModel::FramesColumn),
              QStringLiteral("secuencia 44 · comando H · control 0091 correcto"));
    EXPECT_TRUE(Cell(1, TTrafficModel::FramesColumn).isEmpty()); // half a reply
    EXPECT_TRUE(Cell(2, TTrafficModel::FramesColumn).endsWith(QStringLiteral(" correcto")))
        << Cell(2, TTrafficModel::FramesColumn).toStdString();

    // A reply with wrong check digits says so.
    AnswerInTwoPieces(QByteArray("\x02"
                                 "EHA\x03"
                                 "0000"));
    form->EnviaComando(PayloadAbreNF());
    window->Model()->Flush();
    EXPECT_TRUE(Cell(window->Model()->rowCount() - 1, TTrafficModel::FramesColumn)
                    .contains(QStringLiteral("control 0000 incorrecto")));

    // The selected row in full below the table.
    window->Table()->selectRow(0);
    EXPECT_TRUE(window->Detail()->toPlainText().contains(
        QStringLiteral("02 44 48 03 30 30 39 31\n<STX>DH<ETX>0091\nsecuencia 44")));
}

TEST_F(TrafficWindowTest, ResetIsOneRawWriteAndAClosedPortWritesNothing)
{
    form->resetClick(form->reset);
    const TTrafficEntry& reset = form->traffic->Entries().back();
    EXPECT_EQ(reset.Direction, TTrafficDirection::ToPrinter);
    EXPECT_EQ(reset.Bytes, ResetBytes());
    EXPECT_TRUE(reset.Frames.isEmpty());
    ASSERT_TRUE(WaitUntil(Now() + Seconds(60), [this] { return peer->Received().size() >= 19; }));
    EXPECT_EQ(peer->Received(), ResetBytes());

    form->puerto->Close();
    form->resetClick(form->reset);
    EXPECT_EQ(form->traffic->Entries().back().Direction, TTrafficDirection::Event);
    EXPECT_TRUE(form->traffic->Entries().back().Text.startsWith(QStringLiteral("Sin puerto")));
}

TEST_F(TrafficWindowTest, SaveCopyAndClear)
{
    TTrafficWindow* window = OpenWithCtrlT();
    ASSERT_TRUE(window);
    AnswerInTwoPieces(BuildFrame('D', "HA"));
    form->EnviaComando(PayloadAbreNF());
    form->traffic->Event(QStringLiteral("Sin puerto abierto: no se envió"));
    window->Model()->Flush();
    ASSERT_EQ(window->Model()->rowCount(), 4);

    // Guardar…: the rows in the log's shape, as UTF-8.
    const QString path = dir_.filePath(QStringLiteral("saved.txt"));
    window->AskSavePath = [&] { return path; };
    QTest::mouseClick(window->SaveButton(), Qt::LeftButton);
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray bytes = saved.readAll();
    EXPECT_EQ(bytes, window->RowsText().toUtf8());
    EXPECT_EQ(bytes.count('\n'), 4);
    EXPECT_TRUE(bytes.contains(" TX 02 44 48 03 30 30 39 31 | <STX>DH<ETX>0091\n"));
    EXPECT_TRUE(bytes.endsWith(" EV Sin puerto abierto: no se envi\xC3\xB3\n"));
    // A place that cannot be written is said, and nothing else changes.
    window->AskSavePath = [&] { return dir_.filePath(QStringLiteral("missing/saved.txt")); };
    QTest::mouseClick(window->SaveButton(), Qt::LeftButton);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("No se pudo guardar el tráfico en ")));

    // Copiar: only the selected rows, in order; nothing to copy, nothing to press.
    EXPECT_FALSE(window->CopyButton()->isEnabled());
    QItemSelectionModel* selection = window->Table()->selectionModel();
    const TTrafficModel* model = window->Model();
    selection->select(model->index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->select(model->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QGuiApplication::clipboard()->clear();
    QTest::mouseClick(window->CopyButton(), Qt::LeftButton);
    const QStringList lines = window->RowsText().split(QLatin1Char('\n'));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), lines[0] + '\n' + lines[3] + '\n');

    // Limpiar empties the view only; new entries come in as before.
    QTest::mouseClick(window->ClearButton(), Qt::LeftButton);
    EXPECT_EQ(model->rowCount(), 0);
    EXPECT_FALSE(window->CopyButton()->isEnabled());
    EXPECT_EQ(form->traffic->Entries().size(), 4u);
    form->traffic->Event(QStringLiteral("otra"));
    window->Model()->Flush();
    EXPECT_EQ(model->rowCount(), 1);
}

TEST_F(TrafficWindowTest, KeyboardAndScreenReader)
{
    TTrafficWindow* window = OpenWithCtrlT();
    ASSERT_TRUE(window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    for (QWidget* part :
         {static_cast<QWidget*>(window->Table()), static_cast<QWidget*>(window->Detail())})
        EXPECT_FALSE(part->accessibleName().isEmpty()) << part->metaObject()->className();
    for (QPushButton* button : {window->SaveButton(), window->CopyButton(), window->ClearButton()})
        EXPECT_FALSE(button->accessibleDescription().isEmpty()) << button->text().toStdString();

    // Tab walks from the table through the detail to the buttons.
    window->Table()->setFocus();
    QTest::keyClick(window->Table(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), window->Detail());
    QTest::keyClick(window->Detail(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), window->SaveButton());

    // Escape closes it.
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
}
