#include "app/Form1.h"
#include "app/ReplyBox.h"
#include "platform/DeviceHolders.h"
#include "printer/LinkState.h"
#include "printer/Payloads.h"
#include "printer/TrafficRecord.h"
#include "runtime/Application.h"
#include "runtime/TimeBase.h"
#include "runtime/Wait.h"
#include "serial/VaComm.h"
#include "support/PtyPair.h"
#include "support/SimProcess.h"
#include "wizard/KWizard.h"

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>

#include <algorithm>

#include <grp.h>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr double Scale = 25;

// Records the text of a label each time it is painted.
class PaintLog : public QObject
{
public:
    explicit PaintLog(QLabel* label) : label_(label) { label->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint && (texts.isEmpty() || texts.last() != label_->text()))
            texts.append(label_->text());
        return false;
    }
    QStringList texts;

private:
    QLabel* label_;
};

} // namespace

class SearchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        qputenv("ORVALEN_COM_DIR", dir_.path().toLocal8Bit());
        TimeBase::SetScale(Scale);
        // Closing the window of an earlier test told the program to end; the search would stop.
        Application().ClearTerminated();
        Application().SetMessageHook([this](const QString& text) { messages.append(text); });
        form = std::make_unique<TForm1>();
        SetImpresorEncontrado(false);
        // The port page in view, so that its labels paint; the tests run the search themselves.
        form->wizard->SetActivePage(form->pgPuerto);
        form->Timer1->SetEnabled(false);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        paints = std::make_unique<PaintLog>(form->lbport);
    }

    void TearDown() override
    {
        paints.reset();
        form->close();
        form.reset();
        Application().SetMessageHook({});
        TimeBase::SetScale(1);
        qunsetenv("ORVALEN_COM_DIR");
    }

    QString Com(int n) const { return dir_.path() + QStringLiteral("/com%1").arg(n); }

    std::unique_ptr<SimProcess> StartPrinter(int com, const QStringList& options = {})
    {
        std::vector<std::string> args{"--time-scale", QString::number(Scale).toStdString()};
        for (const QString& option : options)
            args.push_back(option.toStdString());
        auto sim = std::make_unique<SimProcess>(Com(com).toStdString(), args);
        EXPECT_TRUE(sim->Ready()) << "simulator on COM" << com;
        sim->ReadInEventLoop();
        return sim;
    }

    // Runs the whole search as its timer tick would, and returns its length in program seconds.
    double Search()
    {
        const TDateTime start = Now();
        form->Timer1Timer(form->Timer1);
        return (Now() - start) * SecsPerDay;
    }

    QTemporaryDir dir_;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<PaintLog> paints;
    QStringList messages;
};

TEST_F(SearchTest, FindsThePrinterOnCom3PastTwoMissingPorts)
{
    auto printer = StartPrinter(3, {QStringLiteral("--serial"), QStringLiteral("ABC1234567")});
    const double secs = Search();
    EXPECT_EQ(form->lbport->text(), QStringLiteral("COM3"));
    EXPECT_EQ(form->lbserial->text(), QStringLiteral("ABC1234567"));
    EXPECT_TRUE(ImpresorEncontrado());
    EXPECT_TRUE(form->puerto->Active());
    EXPECT_EQ(form->puerto->PortNum(), 3);
    EXPECT_EQ(printer->FramesReceived(), 1);
    // Each port's text was on screen before the port was tried.
    EXPECT_EQ(paints->texts.mid(0, 3),
              (QStringList{QStringLiteral("Evaluando COM1"), QStringLiteral("Evaluando COM2"),
                           QStringLiteral("Evaluando COM3")}));
    EXPECT_GE(secs, 2.0);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(SearchTest, StartsOneTickAfterEnteringThePage)
{
    auto printer = StartPrinter(3);
    form->pgPuertoEnterPage(nullptr);
    EXPECT_TRUE(form->Timer1->Enabled());
    WaitUntil(Now() + Seconds(300), [this] { return ImpresorEncontrado(); });
    EXPECT_EQ(form->lbport->text(), QStringLiteral("COM3"));
    EXPECT_EQ(form->lbserial->text(), QStringLiteral("QDX0012345"));
    EXPECT_FALSE(form->Timer1->Enabled());
}

TEST_F(SearchTest, SilentDeviceIsSkippedAfterItsFullWait)
{
    auto silent = StartPrinter(1, {QStringLiteral("--silent")});
    auto printer = StartPrinter(3);
    const double secs = Search();
    EXPECT_EQ(form->lbport->text(), QStringLiteral("COM3"));
    EXPECT_EQ(silent->FramesReceived(), 1);
    // 30 s reply limit, 2 s pause and 3.456 s for COM1, then COM3's answer and pause.
    EXPECT_GE(secs, 32 + 3.456 + 2);
}

TEST_F(SearchTest, BusyDeviceIsSkipped)
{
    PtyPair busy(Com(1));
    ASSERT_TRUE(busy.HoldExclusively());
    auto printer = StartPrinter(3);
    Search();
    EXPECT_EQ(form->lbport->text(), QStringLiteral("COM3"));
    EXPECT_TRUE(busy.Received().isEmpty());
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(SearchTest, NoPrinterAndCom21NeverTried)
{
    auto beyond = StartPrinter(21);
    Search();
    EXPECT_EQ(form->lbport->text(), QStringLiteral("Impresora no encontrada"));
    EXPECT_TRUE(form->lbserial->text().isEmpty());
    EXPECT_FALSE(ImpresorEncontrado());
    EXPECT_FALSE(form->puerto->Active());
    EXPECT_EQ(beyond->FramesReceived(), 0);
    EXPECT_TRUE(paints->texts.contains(QStringLiteral("Evaluando COM20")));
    EXPECT_FALSE(paints->texts.contains(QStringLiteral("Evaluando COM21")));
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(SearchTest, SecondSearchClosesThePortFoundBefore)
{
    auto printer = StartPrinter(3);
    Search();
    ASSERT_EQ(form->lbport->text(), QStringLiteral("COM3"));
    form->lbport->setText(QString());
    Search();
    EXPECT_EQ(form->lbport->text(), QStringLiteral("COM3"));
    EXPECT_TRUE(ImpresorEncontrado());
    EXPECT_EQ(printer->FramesReceived(), 2);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(SearchTest, DeviceVanishingMidExchangeGivesOneMessage)
{
    auto printer = StartPrinter(3, {QStringLiteral("--vanish-after"), QStringLiteral("2")});
    Search();
    ASSERT_TRUE(form->puerto->Active());
    // The printer goes away on this frame: the port's error shows once, whether the write or
    // a later poll tick meets it.
    form->Pruebas->setEnabled(true);
    form->btrepz->click();
    EXPECT_TRUE(WaitUntil(Now() + Seconds(300),
                          [&] { return !form->puerto->Active() && !messages.isEmpty(); }));
    // A few poll ticks more, in which no second message may come.
    WaitUntil(Now() + Seconds(3));
    EXPECT_FALSE(form->puerto->Active());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("error"))) << messages[0].toStdString();
    // The traffic record, which the log follows, says so too: it does not end on the frame.
    const auto& entries = form->traffic->Entries();
    EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), [](const TTrafficEntry& e) {
        return e.Text.startsWith(QStringLiteral("Conexión perdida: COM3"));
    }));
    // The window goes on working: commands now go to a closed port.
    messages.clear();
    form->wizardFinishButtonClick(nullptr);
    EXPECT_EQ(messages,
              QStringList{QStringLiteral("Ocurrio un error inesperado. Repita el proceso y si "
                                         "persiste la falla llame a su distribuidor")});
}

TEST_F(SearchTest, FloodWithoutEtxEndsTheWaitAtItsLimit)
{
    auto printer = StartPrinter(3, {QStringLiteral("--flood")});
    form->puerto->SetPortNum(3);
    form->puerto->Open();
    // A timer due at 10 s must still fire on time during the wait.
    double firedAt = -1;
    const TDateTime start = Now();
    QTimer::singleShot(TimeBase::RealMs(10000), form.get(),
                       [&] { firedAt = (Now() - start) * SecsPerDay; });
    form->btrepzClick(form->btrepz);
    const double secs = (Now() - start) * SecsPerDay;
    EXPECT_FALSE(RespuestaCompleta());
    EXPECT_FALSE(form->respuesta->Bytes().isEmpty());
    EXPECT_GE(secs, 32.0);
    EXPECT_GE(firedAt, 10.0);
    EXPECT_LT(firedAt, secs) << "the timer fired during the wait";
    EXPECT_TRUE(messages.isEmpty());
}

// --- ports that exist but refuse to open --------------------------------------------------

namespace {

// Runs the enclosed code with the file permissions of another user (root only): the effective
// ids change, the real ones stay root so that the destructor can change back.
class ActingAs
{
public:
    ActingAs(uid_t uid, gid_t gid, const std::vector<gid_t>& groups)
    {
        ok_ =
            setgroups(groups.size(), groups.data()) == 0 && setegid(gid) == 0 && seteuid(uid) == 0;
    }
    ~ActingAs()
    {
        const gid_t rootGroup = 0;
        if (seteuid(0) != 0 || setegid(0) != 0 || setgroups(1, &rootGroup) != 0)
            std::abort(); // the rest of the suite must not run as someone else
    }
    bool Ok() const { return ok_; }

private:
    bool ok_ = false;
};

} // namespace

class RefusedPortTest : public SearchTest
{
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root: it changes a device's owner and searches as the user "
                            "'nobody', outside the dialout group";
        dialout_ = getgrnam("dialout");
        nobody_ = getpwnam("nobody");
        if (!dialout_ || !nobody_)
            GTEST_SKIP() << "needs the group 'dialout' and the user 'nobody'";
        SearchTest::SetUp();
        // Like a real serial device: root:dialout 0660, reached through a folder anyone can enter.
        printer_ = StartPrinter(3);
        device_ = QFileInfo(Com(3)).canonicalFilePath().toLocal8Bit();
        ASSERT_EQ(chown(device_.constData(), 0, dialout_->gr_gid), 0);
        ASSERT_EQ(chmod(device_.constData(), 0660), 0);
        ASSERT_EQ(chmod(QFile::encodeName(dir_.path()).constData(), 0755), 0);
    }

    // The search as 'nobody', a member of `groups` only; what it wrote on stderr.
    QString SearchAsNobody(const std::vector<gid_t>& groups)
    {
        testing::internal::CaptureStderr();
        {
            ActingAs nobody(nobody_->pw_uid, nobody_->pw_gid, groups);
            EXPECT_TRUE(nobody.Ok());
            Search();
        }
        return QString::fromStdString(testing::internal::GetCapturedStderr());
    }

    const group* dialout_ = nullptr;
    const passwd* nobody_ = nullptr;
    std::unique_ptr<SimProcess> printer_;
    QByteArray device_;
};

TEST_F(RefusedPortTest, OutsideDialoutTheSearchSaysWhichDeviceAndHowToJoinTheGroup)
{
    const QString err = SearchAsNobody({nobody_->pw_gid});
    EXPECT_EQ(form->lbport->text(), QStringLiteral("Impresora no encontrada"));
    EXPECT_EQ(printer_->FramesReceived(), 0);
    EXPECT_TRUE(err.contains(QStringLiteral("orvalen: COM3 (%1): permission denied; add your user "
                                            "to the dialout group\n")
                                 .arg(Com(3))))
        << err.toStdString();
    ASSERT_EQ(messages.size(), 1);
    for (const QString& part :
         {QStringLiteral("COM3 (%1)").arg(Com(3)),
          QStringLiteral("sudo usermod -aG dialout nobody"), QStringLiteral("cierre la sesión")})
        EXPECT_TRUE(messages[0].contains(part)) << messages[0].toStdString();
}

TEST_F(RefusedPortTest, InsideDialoutThePrinterIsFoundWithNoExtraBox)
{
    const QString err = SearchAsNobody({nobody_->pw_gid, dialout_->gr_gid});
    EXPECT_EQ(form->lbport->text(), QStringLiteral("COM3"));
    EXPECT_EQ(form->lbport->toolTip(), Com(3));
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_FALSE(err.contains(QStringLiteral("orvalen: COM"))) << err.toStdString();
}

TEST_F(SearchTest, PortHeldByAnotherProgramIsNamedWhenNoPrinterIsFound)
{
    PtyPair port(Com(5));
    QProcess holder;
    holder.start(QStringLiteral("flock"),
                 {QStringLiteral("-x"), Com(5), QStringLiteral("sleep"), QStringLiteral("60")});
    ASSERT_TRUE(holder.waitForStarted());
    // flock starts sleep once it holds the lock; its forked child is called flock until it has
    // become sleep.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QList<DeviceHolder> holders = OtherHoldersOf(Com(5).toLocal8Bit());
            return std::any_of(holders.begin(), holders.end(), [](const DeviceHolder& h) {
                return h.Program == QStringLiteral("sleep");
            });
        },
        60000));
    testing::internal::CaptureStderr();
    Search();
    const QString err = QString::fromStdString(testing::internal::GetCapturedStderr());
    holder.kill();
    holder.waitForFinished();

    EXPECT_EQ(form->lbport->text(), QStringLiteral("Impresora no encontrada"));
    EXPECT_TRUE(err.contains(QStringLiteral("orvalen: COM5 (%1): busy: held by ").arg(Com(5))))
        << err.toStdString();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("Otro programa"))) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains(QStringLiteral("sleep (pid "))) << messages[0].toStdString();
}

TEST_F(SearchTest, FoundPortShowsItsDevicePathAndANewSearchForgetsIt)
{
    auto printer = StartPrinter(2);
    Search();
    EXPECT_EQ(form->lbport->toolTip(), Com(2));
    printer.reset();
    Search();
    EXPECT_EQ(form->lbport->text(), QStringLiteral("Impresora no encontrada"));
    EXPECT_TRUE(form->lbport->toolTip().isEmpty());
    EXPECT_TRUE(messages.isEmpty());
}
