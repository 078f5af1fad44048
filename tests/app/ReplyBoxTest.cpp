#include "app/ReplyBox.h"
#include "app/TypedLimit.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <gtest/gtest.h>

TEST(ReplyBoxTest, StoresEveryByteValueExceptZero)
{
    QByteArray all;
    for (int b = 1; b < 256; ++b)
        all.append(char(b));
    TReplyBox box;
    box.SetBytes(all);
    EXPECT_EQ(box.Bytes(), all);
    EXPECT_EQ(box.text().size(), all.size());
}

TEST(ReplyBoxTest, ControlBytesShowAsPictures)
{
    TReplyBox box;
    box.SetBytes(QByteArray("\x02"
                            "A\x1C"
                            "B\x7F\x03",
                            6));
    EXPECT_EQ(box.text(), QString::fromUtf16(u"\u2402A\u241CB\u2421\u2403"));
}

TEST(ReplyBoxTest, ZeroByteEndsTheTextAndLaterReadsAppendBehind)
{
    TReplyBox box;
    box.AppendBytes(QByteArray("\x02"
                               "AB",
                               3));
    box.AppendBytes(QByteArray("CD\0EF", 5));
    EXPECT_EQ(box.Bytes(), QByteArray("\x02"
                                      "ABCD"));
    box.AppendBytes(QByteArray("GH\x03", 3));
    EXPECT_EQ(box.Bytes(), QByteArray("\x02"
                                      "ABCDGH\x03"));
    box.SetBytes(QByteArray("\0XY", 3));
    EXPECT_TRUE(box.Bytes().isEmpty());
}

TEST(TypedLimitTest, TypingStopsAtFourButProgramTextIsKept)
{
    TTypedLimitEdit edit;
    edit.SetTypedLimit(4);
    edit.setText(QStringLiteral("0700"));
    edit.show();
    edit.setFocus();
    edit.end(false);
    QTest::keyClicks(&edit, QStringLiteral("12"));
    EXPECT_EQ(edit.text(), QStringLiteral("0700"));

    edit.setText(QStringLiteral("261206"));
    EXPECT_EQ(edit.text(), QStringLiteral("261206"));
    edit.end(false);
    QTest::keyClick(&edit, Qt::Key_9);
    EXPECT_EQ(edit.text(), QStringLiteral("261206"));
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.text(), QStringLiteral("26120")); // shortening is always allowed

    edit.selectAll();
    QTest::keyClick(&edit, Qt::Key_Delete);
    QTest::keyClicks(&edit, QStringLiteral("123456"));
    EXPECT_EQ(edit.text(), QStringLiteral("1234"));

    edit.selectAll();
    QTest::keyClick(&edit, Qt::Key_Delete);
    QApplication::clipboard()->setText(QStringLiteral("98765"));
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit.text(), QString()); // a paste that would pass the limit is refused
    QApplication::clipboard()->setText(QStringLiteral("987"));
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit.text(), QStringLiteral("987"));
    edit.close();
}

// A paste from the right-click menu, a drop and an input method's text obey the same limit as
// typing; text the program sets afterwards is still kept whole.
TEST(TypedLimitTest, EveryWayTextGetsInObeysTheLimit)
{
    TTypedLimitEdit edit;
    edit.SetTypedLimit(4);
    edit.show();
    const QString tooLong = QStringLiteral("98765432");

    QApplication::clipboard()->setText(tooLong);
    const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QAction* paste = nullptr;
    for (QAction* action : menu->actions())
        if (action->text().startsWith(QLatin1String("&Paste")))
            paste = action;
    ASSERT_NE(paste, nullptr);
    paste->trigger();
    EXPECT_EQ(edit.text(), QString());

    const auto drop = [&edit](const QString& text) {
        QMimeData data;
        data.setText(text);
        // Qt delivers a drop only to the widget that accepted the drag's entry.
        QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&edit, &enter);
        QDropEvent event(QPointF(2, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&edit, &event);
    };
    drop(tooLong);
    EXPECT_EQ(edit.text(), QString());

    QInputMethodEvent compose(QString(), {});
    compose.setCommitString(tooLong);
    QApplication::sendEvent(&edit, &compose);
    EXPECT_EQ(edit.text(), QString());

    // Within the limit each way still works.
    QApplication::clipboard()->setText(QStringLiteral("07"));
    paste->trigger();
    EXPECT_EQ(edit.text(), QStringLiteral("07"));
    drop(QStringLiteral("0"));
    EXPECT_EQ(edit.text().size(), 3);
    QInputMethodEvent one(QString(), {});
    one.setCommitString(QStringLiteral("5"));
    QApplication::sendEvent(&edit, &one);
    EXPECT_EQ(edit.text().size(), 4);

    edit.setText(QStringLiteral("261206"));
    EXPECT_EQ(edit.text(), QStringLiteral("261206"));
    edit.close();
}
