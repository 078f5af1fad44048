// The whole window as the program starts it, driven only through its buttons and keys, against
// the simulated printer (a separate process) on COM3 of a private device folder.

#include "app/Form1.h"
#include "app/ReplyBox.h"
#include "app/Startup.h"
#include "app/TrafficWindow.h"
#include "ctl/Run.h"
#include "printer/Journal.h"
#include "printer/LinkState.h"
#include "printer/Sequence.h"
#include "printer/TrafficLog.h"
#include "printer/TrafficRecord.h"
#include "runtime/Application.h"
#include "runtime/TimeBase.h"
#include "runtime/Wait.h"
#include "serial/VaComm.h"
#include "support/SimProcess.h"
#include "wizard/KWizard.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr double Scale = 25;

const QString ErrorMessage = QStringLiteral("Ocurrio un error inesperado. Repita el proceso y si "
                                            "persiste la falla llame a su distribuidor");
const QString SuccessMessage = QStringLiteral("Impresor Actualizado Satisfacotiamente");
const QString InvoiceMessage = QStringLiteral("Factura enviada con producto a 11, 21, 8 y exento");

// Names of the pages in the order they were shown.
class ShowLog : public QObject
{
public:
    explicit ShowLog(const QList<TKWizardCustomPage*>& pages)
    {
        for (TKWizardCustomPage* page : pages)
            page->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() == QEvent::Show)
            shown.append(watched->objectName());
        return false;
    }
    QStringList shown;
};

} // namespace

class FlowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        qputenv("ORVALEN_COM_DIR", dir_.path().toLocal8Bit());
        TimeBase::SetScale(Scale);
        Application().ClearTerminated();
        InitApplication();
        Application().SetMessageHook([this](const QString& text) { messages.append(text); });
        form = std::make_unique<TForm1>();
        ShowMainWindow(*form);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        // The welcome page holds the focus, so the shortcuts of the bar work at once.
        ASSERT_EQ(QApplication::focusWidget(), form->Titulo);
        pages = std::make_unique<ShowLog>(form->wizard->Pages());
        QObject::connect(form.get(), &TForm1::PortTextShown,
                         [this](const QString& text) { portTexts.append(text); });
    }

    void TearDown() override
    {
        pages.reset();
        form.reset();
        Application().ClearTerminated();
        Application().SetMessageHook({});
        TimeBase::SetScale(1);
        TimeBase::Reset();
        qunsetenv("ORVALEN_COM_DIR");
    }

    std::unique_ptr<SimProcess> StartPrinter(int com, const QStringList& options = {})
    {
        std::vector<std::string> args{"--time-scale", QString::number(Scale).toStdString()};
        for (const QString& option : options)
            args.push_back(option.toStdString());
        auto sim = std::make_unique<SimProcess>(
            (dir_.path() + QStringLiteral("/com%1").arg(com)).toStdString(), args);
        EXPECT_TRUE(sim->Ready()) << "simulator on COM" << com;
        sim->ReadInEventLoop();
        return sim;
    }

    TKWizardButtonControl* Button(int kind) const { return form->wizard->ButtonControl(kind); }
    void Click(int kind) { QTest::mouseClick(Button(kind), Qt::LeftButton); }
    void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    // Alt plus the underlined letter of a button's caption. The shortcut clicks the button a
    // moment later (Qt animates the press); returns once that click's handler has run.
    void Press(QAbstractButton* button, Qt::Key key)
    {
        bool clicked = false;
        const auto seen =
            QObject::connect(button, &QAbstractButton::clicked, [&clicked] { clicked = true; });
        QTest::keyClick(form.get(), key, Qt::AltModifier);
        WaitUntil(Now() + Seconds(60), [&clicked] { return clicked; });
        QObject::disconnect(seen);
        EXPECT_TRUE(clicked) << "Alt+" << QTest::toString(key);
    }
    // The frames the printer took as frames, in the form it logs them.
    static QStringList Frames(SimProcess& printer)
    {
        QStringList frames;
        for (const std::string& line : printer.Frames())
            frames += QString::fromStdString(line);
        return frames;
    }
    // Everything the printer has logged so far.
    static QString Log(SimProcess& printer) { return QString::fromStdString(printer.Log()); }
    TKWizardCustomPage* Active() const { return form->wizard->ActivePage(); }
    bool SearchEnded() const
    {
        return !portTexts.isEmpty() && !portTexts.last().startsWith(QStringLiteral("Evaluando"));
    }

    QTemporaryDir dir_;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<ShowLog> pages;
    QStringList portTexts;
    QStringList messages;
};

TEST_F(FlowTest, WholeProcedureWithThePrinterOnCom3)
{
    auto printer = StartPrinter(3, {QStringLiteral("--serial"), QStringLiteral("ABC1234567")});
    ASSERT_EQ(Active(), form->Titulo);
    EXPECT_FALSE(Button(bkBack)->isEnabled());

    // Siguiente: the search runs one tick later, COM1 and COM2 are missing.
    Press(Button(bkNext), Qt::Key_S);
    EXPECT_EQ(Active(), form->pgPuerto);
    ASSERT_TRUE(WaitUntil(Now() + Seconds(300), [this] { return SearchEnded(); }));
    EXPECT_EQ(portTexts,
              (QStringList{"Evaluando COM1", "Evaluando COM2", "Evaluando COM3", "COM3"}));
    EXPECT_EQ(form->lbport->text(), QStringLiteral("COM3"));
    EXPECT_EQ(form->lbserial->text(), QStringLiteral("ABC1234567"));
    EXPECT_EQ(Frames(*printer).size(), 1);

    // Siguiente: the Z report goes out although its button is disabled.
    EXPECT_FALSE(form->btrepz->isEnabled());
    Click(bkNext);
    EXPECT_EQ(Active(), form->PgVerificacion);
    EXPECT_EQ(Frames(*printer).size(), 2);
    EXPECT_TRUE(Log(*printer).contains(QStringLiteral("9<FS>Z<FS>T<ETX>")));
    EXPECT_TRUE(form->respuesta->Bytes().startsWith('\x02'));
    EXPECT_TRUE(form->respuesta->Bytes().contains('\x03'));

    // Siguiente: the last page, with the moment it was entered.
    TimeBase::SetNow(QDateTime(QDate(2026, 12, 6), QTime(17, 5, 9)));
    Click(bkNext);
    EXPECT_EQ(Active(), form->PgFiscalizacion);
    EXPECT_TRUE(form->fecha->text().startsWith(QStringLiteral("06/12/26 17:05:")))
        << form->fecha->text().toStdString();
    EXPECT_FALSE(form->Pruebas->isEnabled());
    EXPECT_FALSE(form->reiniciar->isEnabled());
    EXPECT_TRUE(Button(bkFinish)->isVisible());
    EXPECT_FALSE(Button(bkNext)->isVisible());
    EXPECT_EQ(Button(bkFinish)->geometry(), QRect(316, 379, 75, 25));
    EXPECT_EQ(Frames(*printer).size(), 2);

    // Proceder: the computer's date and time go to the printer; fecha keeps the time the page
    // was entered.
    const QString entered = form->fecha->text();
    TimeBase::SetNow(QDateTime(QDate(2026, 12, 6), QTime(17, 6, 30)));
    Press(Button(bkFinish), Qt::Key_P);
    EXPECT_EQ(messages, QStringList{SuccessMessage});
    EXPECT_EQ(form->edfecha->text(), QStringLiteral("261206"));
    // The clock ran on a little from 17:06:30 while the shortcut's click was under way.
    EXPECT_GE(form->edhora->text().toInt(), 170630);
    EXPECT_LE(form->edhora->text().toInt(), 170640);
    EXPECT_TRUE(
        Log(*printer).contains(QStringLiteral("X<FS>261206<FS>%1<ETX>").arg(form->edhora->text())));
    EXPECT_EQ(form->fecha->text(), entered);
    EXPECT_TRUE(form->Pruebas->isEnabled());
    EXPECT_TRUE(form->reiniciar->isEnabled());
    EXPECT_EQ(Active(), form->PgFiscalizacion);
    messages.clear();

    // The test buttons, each with its frames.
    struct Case
    {
        QPushButton* button;
        int frames;
        QString payload; // as the printer logs it
    } cases[] = {
        {form->btrepz, 1, QStringLiteral("9<FS>Z<FS>T<ETX>")},
        {form->AbreNF, 1, QStringLiteral("H<ETX>")},
        {form->LineaNF, 1, QStringLiteral("I<FS>linea de prueba<ETX>")},
        {form->CierraNF, 1, QStringLiteral("J<FS><DEL><ETX>")},
        {form->cambiatasa, 1, QStringLiteral("r<FS>0700<FS>1000<FS>1500<FS>")},
        {form->Button1, 6, QStringLiteral("E<FS>T<ETX>")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button->text().toStdString());
        const int before = Frames(*printer).size();
        Click(c.button);
        EXPECT_EQ(Frames(*printer).size(), before + c.frames);
        const QStringList frames = Frames(*printer);
        ASSERT_FALSE(frames.isEmpty());
        EXPECT_TRUE(frames.last().contains(c.payload)) << frames.last().toStdString();
        EXPECT_TRUE(form->respuesta->Bytes().contains('\x03'));
    }
    EXPECT_EQ(messages, QStringList{InvoiceMessage});

    const int before = Frames(*printer).size();
    Click(form->reset);
    EXPECT_EQ(Frames(*printer).size(), before);
    EXPECT_TRUE(Log(*printer).contains(QStringLiteral("reset bytes")));
    EXPECT_TRUE(form->Pruebas->isEnabled());

    // Anterior from the last page: another Z report, then Siguiente shows again.
    Press(Button(bkBack), Qt::Key_A);
    EXPECT_EQ(Active(), form->PgVerificacion);
    EXPECT_EQ(Frames(*printer).size(), before + 1);
    EXPECT_FALSE(Button(bkFinish)->isVisible());
    EXPECT_TRUE(Button(bkNext)->isVisible());
    Click(bkNext);
    EXPECT_TRUE(Button(bkFinish)->isVisible());
    EXPECT_FALSE(Button(bkNext)->isVisible());
    EXPECT_FALSE(form->Pruebas->isEnabled());
    EXPECT_EQ(messages, QStringList{InvoiceMessage});
}

// Siguiente pressed while the search still waits on a silent COM1: the Z report goes to that
// port with the welcome page in view, then the verification page appears.
TEST_F(FlowTest, NextDuringTheSearchShowsTheWelcomePageWhileTheReportGoesOut)
{
    auto silent = StartPrinter(1, {QStringLiteral("--silent")});
    auto printer = StartPrinter(3);
    TKWizardCustomPage* during = nullptr;
    bool welcomeShown = false;
    TKWizardCustomPage* afterNext = nullptr;
    bool clicked = false;
    QObject::connect(form.get(), &TForm1::PortTextShown, [&](const QString& text) {
        if (text != QStringLiteral("Evaluando COM1") || clicked)
            return;
        clicked = true;
        QTimer::singleShot(TimeBase::RealMs(1500), [&] {
            // Looks at the window halfway through the report's 30 s wait.
            QTimer::singleShot(TimeBase::RealMs(10000), [&] {
                during = Active();
                welcomeShown = form->Titulo->isVisible() && !form->PgVerificacion->isVisible() &&
                               !form->pgPuerto->isVisible();
            });
            Click(bkNext);
            afterNext = Active();
        });
    });

    Click(bkNext);
    ASSERT_TRUE(WaitUntil(Now() + Seconds(120), [this] { return SearchEnded(); }));
    EXPECT_EQ(during, form->Titulo);
    EXPECT_TRUE(welcomeShown);
    EXPECT_EQ(afterNext, form->PgVerificacion);
    EXPECT_EQ(pages->shown, (QStringList{"pgPuerto", "Titulo", "PgVerificacion"}));
    EXPECT_TRUE(Log(*silent).contains(QStringLiteral("9<FS>Z<FS>T<ETX>")));
    // The search itself goes on afterwards and finds the printer.
    EXPECT_EQ(portTexts.last(), QStringLiteral("COM3"));
    EXPECT_TRUE(ImpresorEncontrado());
    EXPECT_EQ(Active(), form->PgVerificacion);
    EXPECT_TRUE(form->PgVerificacion->isVisible());
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(FlowTest, NoPrinterAnywhereEndsWithTheErrorMessage)
{
    Click(bkNext);
    ASSERT_TRUE(WaitUntil(Now() + Seconds(300), [this] { return SearchEnded(); }));
    EXPECT_EQ(form->lbport->text(), QStringLiteral("Impresora no encontrada"));
    EXPECT_EQ(portTexts.size(), 21);
    EXPECT_FALSE(form->puerto->Active());

    // The report goes to the closed port: the full wait, with the welcome page in between.
    const TDateTime start = Now();
    Click(bkNext);
    EXPECT_GE((Now() - start) * SecsPerDay, 32.0);
    EXPECT_EQ(Active(), form->PgVerificacion);
    Click(bkNext);
    EXPECT_EQ(Active(), form->PgFiscalizacion);
    EXPECT_EQ(pages->shown,
              (QStringList{"pgPuerto", "Titulo", "PgVerificacion", "Titulo", "PgFiscalizacion"}));
    EXPECT_TRUE(Button(bkFinish)->isVisible());

    Click(bkFinish);
    EXPECT_EQ(messages, QStringList{ErrorMessage});
    EXPECT_TRUE(form->Pruebas->isEnabled());
    EXPECT_TRUE(form->reiniciar->isEnabled());
}

// Salir, or closing the window, while the search waits 30 s on the first of a row of silent
// ports: the exchange under way runs to its end, then the search tries no further port and the
// main loop ends.
class EndDuringAWait : public FlowTest, public ::testing::WithParamInterface<bool>
{
protected:
    void SetUp() override
    {
        FlowTest::SetUp();
        for (int com = 1; com <= 3; ++com)
            silent.push_back(StartPrinter(com, {QStringLiteral("--silent")}));
    }

    // Asks the program to end the way the test's parameter says.
    void AskToEnd()
    {
        order << QStringLiteral("end asked");
        endAskedAt = Now();
        if (GetParam())
            form->close();
        else
            Click(bkCancel);
    }

    // Runs the main loop from a click on Siguiente until it ends; returns the program seconds
    // from the request to end until then.
    double RunUntilTheLoopEnds()
    {
        // A safety net: the loop must end long before this.
        QTimer safety;
        safety.setSingleShot(true);
        QObject::connect(&safety, &QTimer::timeout, [this] {
            order << QStringLiteral("safety");
            Application().Terminate();
        });
        safety.start(TimeBase::RealMs(600000));
        QTimer::singleShot(0, [this] { Click(bkNext); });
        Application().Run();
        order << QStringLiteral("loop ended");
        return (Now() - endAskedAt) * SecsPerDay;
    }

    std::vector<std::unique_ptr<SimProcess>> silent;
    QStringList order;
    TDateTime endAskedAt = 0;
};

TEST_P(EndDuringAWait, TheSearchTriesNoFurtherPort)
{
    QObject::connect(form.get(), &TForm1::PortTextShown, [this](const QString& text) {
        order << text;
        if (text == QStringLiteral("Evaluando COM1"))
            QTimer::singleShot(TimeBase::RealMs(3000), [this] { AskToEnd(); });
    });
    const double afterEnd = RunUntilTheLoopEnds();

    EXPECT_EQ(order, (QStringList{"Evaluando COM1", "end asked", "loop ended"}));
    // The rest of COM1's exchange: 30 s reply limit, 2 s pause and 3.456 s, less the 3 s gone.
    EXPECT_GE(afterEnd, 32.0);
    EXPECT_LT(afterEnd, 33.0 + 2);
    EXPECT_EQ(silent[0]->FramesReceived(), 1);
    EXPECT_EQ(silent[1]->FramesReceived(), 0);
    EXPECT_EQ(silent[2]->FramesReceived(), 0);
    // The window stays until the program destroys it after the loop.
    EXPECT_TRUE(form->isVisible());
}

// Back and Siguiente during the search start a second search from COM1 inside the first one's
// wait; asked to end then, each search stops at its next port.
TEST_P(EndDuringAWait, NestedSearchesEachStopAtTheirNextPort)
{
    int com1Seen = 0;
    QObject::connect(form.get(), &TForm1::PortTextShown, [this, &com1Seen](const QString& text) {
        order << text;
        if (text != QStringLiteral("Evaluando COM1"))
            return;
        if (++com1Seen == 1) {
            QTimer::singleShot(TimeBase::RealMs(3000), [this] {
                Click(bkBack);
                Click(bkNext);
            });
        } else {
            QTimer::singleShot(TimeBase::RealMs(3000), [this] { AskToEnd(); });
        }
    });
    const double afterEnd = RunUntilTheLoopEnds();

    EXPECT_EQ(order, (QStringList{"Evaluando COM1", "Evaluando COM1", "end asked", "loop ended"}));
    // Within the two exchanges that were under way, far from the minutes of the whole row.
    EXPECT_LT(afterEnd, 2 * 35.456 + 2);
    EXPECT_EQ(silent[0]->FramesReceived(), 2);
    EXPECT_EQ(silent[1]->FramesReceived(), 0);
    EXPECT_EQ(silent[2]->FramesReceived(), 0);
}

INSTANTIATE_TEST_SUITE_P(Window, EndDuringAWait, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Close" : "Salir"; });

namespace {

// The TX or RX lines of a traffic log (the program's or the simulator's: they share the shape),
// as the bytes of each line.
QList<QByteArray> LoggedBytes(const QString& log, const QString& direction)
{
    static const QRegularExpression line(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3} (TX|RX) "
                       "((?:[0-9A-F]{2} )*[0-9A-F]{2}) \\| "));
    QList<QByteArray> out;
    for (const QString& text : log.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch m = line.match(text);
        if (m.hasMatch() && m.captured(1) == direction)
            out.append(QByteArray::fromHex(m.captured(2).toLatin1()));
    }
    return out;
}

QByteArray Joined(const QList<QByteArray>& pieces)
{
    QByteArray all;
    for (const QByteArray& piece : pieces)
        all += piece;
    return all;
}

} // namespace

// The traffic log of a whole procedure (search, Z report, Proceder, a test button) against the
// simulator's own log: what the program says it sent is, frame for frame, what the printer
// received, and what it says it read is, byte for byte, what the printer sent. The traffic
// window stays open all the while.
TEST_F(FlowTest, TrafficLogMatchesThePrintersOwnLog)
{
    const QString path = dir_.filePath(QStringLiteral("traffic.log"));
    QString error;
    const std::unique_ptr<TTrafficLog> log = TTrafficLog::Open(path, error);
    ASSERT_TRUE(log) << error.toStdString();
    log->Follow(*form->traffic);
    auto printer = StartPrinter(3, {QStringLiteral("--serial"), QStringLiteral("ABC1234567")});

    QTest::keyClick(form.get(), Qt::Key_T, Qt::ControlModifier);
    ASSERT_TRUE(form->TrafficWindow());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form->TrafficWindow()));
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));

    Press(Button(bkNext), Qt::Key_S);
    ASSERT_TRUE(WaitUntil(Now() + Seconds(300), [this] { return SearchEnded(); }));
    ASSERT_EQ(form->lbport->text(), QStringLiteral("COM3"));
    Click(bkNext); // Z report
    Click(bkNext);
    Press(Button(bkFinish), Qt::Key_P);
    Click(form->AbreNF);
    EXPECT_EQ(messages, QStringList{SuccessMessage});

    // The printer has written its log lines by the time its reply was read; take what is left.
    QString printerLog;
    WaitUntil(Now() + Seconds(60), [&] {
        printerLog = Log(*printer);
        return LoggedBytes(printerLog, QStringLiteral("RX")).size() >= 4;
    });
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString ours = QString::fromUtf8(file.readAll());

    const QList<QByteArray> sent = LoggedBytes(ours, QStringLiteral("TX"));
    ASSERT_EQ(sent.size(), 4); // status, Z report, date and time, AbreNF
    EXPECT_EQ(sent, LoggedBytes(printerLog, QStringLiteral("RX")));
    const QByteArray read = Joined(LoggedBytes(ours, QStringLiteral("RX")));
    EXPECT_FALSE(read.isEmpty());
    EXPECT_EQ(read, Joined(LoggedBytes(printerLog, QStringLiteral("TX"))));
    EXPECT_TRUE(ours.contains(QStringLiteral(" EV Impresora encontrada en COM3, serial "
                                             "ABC1234567\n")));
    EXPECT_TRUE(ours.contains(QStringLiteral(" EV COM3 abierto\n")));

    // The window showed every entry as it came.
    EXPECT_EQ(form->TrafficWindow()->RowsText(), ours);
}

// The window's Z report and clock setting go to orvalenctl's journal, so its `z --if-due` sends
// nothing after them; orvalenctl's Z after the window's search has a sequence byte of its own
// (the printer takes a repeated one for a repeat and does not print).
TEST_F(FlowTest, TheWindowsJobsReachOrvalenctlsJournal)
{
    const QTemporaryDir state;
    const QByteArray stateBefore = qgetenv("XDG_STATE_HOME");
    const auto restore = qScopeGuard([&] { qputenv("XDG_STATE_HOME", stateBefore); });
    qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ORVALEN_TIME_SCALE"), QString::number(Scale));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), state.filePath(QStringLiteral("config")));
    auto printer = StartPrinter(3, {QStringLiteral("--serial"), QStringLiteral("ABC1234567")});

    // As at the window's start: its first frame carries the byte every run of orvalenctl starts
    // with.
    SetSecuencia(0);
    SetRandomState(0);
    form->Timer1Timer(form->Timer1);
    form->puerto->Close();
    EXPECT_EQ(RunCtl({"--port", "COM3", "z"}, environment).Status, 0);
    const QStringList frames = Frames(*printer);
    ASSERT_EQ(frames.size(), 3);
    EXPECT_EQ(frames[0].mid(27, 5), QStringLiteral("02 44")); // the window's status request
    EXPECT_NE(frames[2].mid(27, 5), frames[1].mid(27, 5));    // orvalenctl's Z

    form->Timer1Timer(form->Timer1);
    form->btrepzClick(form->btrepz);
    form->wizardFinishButtonClick(nullptr);
    QList<JobRecord> records;
    WaitUntil(Now() + Seconds(60 * Scale), [&records] {
        records = Journal(Journal::DefaultPath()).ReadAll().Records;
        return records.size() >= 4;
    });
    ASSERT_EQ(records.size(), 4); // orvalenctl's Z: its sending and its end
    EXPECT_EQ(QStringList({records[2].Command, records[2].Result, records[2].Port,
                           records[2].Serial, records[3].Command, records[3].Result}),
              QStringList({"z", "answered", "COM3", "ABC1234567", "clock", "accepted"}));
    form->puerto->Close();
    EXPECT_EQ(RunCtl({"z", "--if-due"}, environment).Status, 0);
    EXPECT_EQ(Journal(Journal::DefaultPath()).ReadAll().Records.last().Result, "skipped");
}

// Another program holding the journal's lock holds up nothing: the Z report and Finish answer as
// always, and their lines, port and serial number included, reach the journal once it lets go.
TEST_F(FlowTest, AJournalLockedByAnotherProgramHoldsUpNothing)
{
    const QTemporaryDir state;
    const QByteArray stateBefore = qgetenv("XDG_STATE_HOME");
    const auto restore = qScopeGuard([&] { qputenv("XDG_STATE_HOME", stateBefore); });
    qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
    const Journal journal(Journal::DefaultPath());
    ASSERT_TRUE(QDir().mkpath(QFileInfo(journal.Path()).absolutePath()));
    QProcess holder;
    // Holds the lock until its input ends, or 40 s have passed.
    holder.start(QStringLiteral("flock"), {journal.Path(), QStringLiteral("-c"),
                                           QStringLiteral("echo locked; timeout 40 cat")});
    ASSERT_TRUE(holder.waitForReadyRead(20000));
    const auto release = qScopeGuard([&holder] {
        holder.closeWriteChannel();
        holder.waitForFinished();
    });
    auto printer = StartPrinter(3, {QStringLiteral("--serial"), QStringLiteral("ABC1234567")});
    form->Timer1Timer(form->Timer1);

    QElapsedTimer elapsed;
    elapsed.start();
    form->btrepzClick(form->btrepz);
    form->wizardFinishButtonClick(nullptr);
    // Two exchanges on the sped-up clock take well under a second; the lock, a minute.
    EXPECT_LT(elapsed.elapsed(), 30000);
    EXPECT_EQ(messages.last(), SuccessMessage);
    EXPECT_EQ(QFileInfo(journal.Path()).size(), 0);

    holder.closeWriteChannel();
    ASSERT_TRUE(holder.waitForFinished(20000));
    QList<JobRecord> records;
    WaitUntil(Now() + Seconds(60 * Scale), [&] {
        records = journal.ReadAll().Records;
        return records.size() >= 2;
    });
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(QStringList({records[0].Command, records[0].Result, records[0].Port,
                           records[0].Serial, records[1].Command, records[1].Result}),
              QStringList({"z", "answered", "COM3", "ABC1234567", "clock", "accepted"}));
}
