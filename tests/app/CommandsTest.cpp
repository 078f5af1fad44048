#include "FormFixture.h"

#include "support/ComputerClock.h"

#include "printer/Payloads.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace {

const QString ErrorMessage = QStringLiteral("Ocurrio un error inesperado. Repita el proceso y si "
                                            "persiste la falla llame a su distribuidor");
const QString SuccessMessage = QStringLiteral("Impresor Actualizado Satisfacotiamente");
const QString InvoiceMessage = QStringLiteral("Factura enviada con producto a 11, 21, 8 y exento");

} // namespace

class CommandsTest : public FormFixture
{
protected:
    // The printer answers every frame at once with the given reply.
    void AnswerWith(const QByteArray& reply)
    {
        peer->OnFrame = [this, reply](const QByteArray&) { peer->Send(reply); };
    }
};

TEST_F(CommandsTest, ButtonsSendTheirPayloads)
{
    AnswerWith("\x02OK\x03");
    struct Case
    {
        QPushButton* button;
        QByteArray payload;
    } cases[] = {
        {form->btrepz, PayloadReporteZ()},
        {form->AbreNF, PayloadAbreNF()},
        {form->LineaNF, PayloadLineaNF("linea de prueba")},
        {form->CierraNF, PayloadCierraNF()},
    };
    form->Pruebas->setEnabled(true);
    for (const Case& c : cases) {
        const qsizetype before = peer->Payloads().size();
        c.button->click();
        ASSERT_EQ(peer->Payloads().size(), before + 1) << c.button->text().toStdString();
        EXPECT_EQ(peer->Payloads().last(), c.payload);
        EXPECT_EQ(Reply(), QByteArray("\x02OK\x03"));
    }
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(CommandsTest, EmptyLineSendsOnlyTheCommandAndSeparator)
{
    AnswerWith("\x03");
    form->edlinea->clear();
    form->LineaNFClick(form->LineaNF);
    ASSERT_EQ(peer->Payloads().size(), 1);
    EXPECT_EQ(peer->Payloads()[0], QByteArray("I\x1C"));
}

TEST_F(CommandsTest, LineButtonIsDisabledDuringItsCommandOnly)
{
    AnswerWith("\x03");
    bool enabledDuring = true;
    QTimer::singleShot(TimeBase::RealMs(1000), form.get(),
                       [&] { enabledDuring = form->LineaNF->isEnabledTo(form->Pruebas); });
    form->edlinea->setText(QStringLiteral("Añadir ½ kilo"));
    form->LineaNFClick(form->LineaNF);
    EXPECT_FALSE(enabledDuring);
    EXPECT_TRUE(form->LineaNF->isEnabledTo(form->Pruebas));
    ASSERT_EQ(peer->Payloads().size(), 1);
    EXPECT_EQ(peer->Payloads()[0], QByteArray("I\x1C"
                                              "A\xF1"
                                              "adir \xBD kilo"));
}

TEST_F(CommandsTest, TextWithoutLatin1IsRefusedAndNothingSent)
{
    form->edlinea->setText(QStringLiteral("total 5 €"));
    form->LineaNFClick(form->LineaNF);
    form->iva2->setText(QStringLiteral("1€00"));
    form->cambiatasaClick(form->cambiatasa);
    EXPECT_TRUE(peer->Received().isEmpty());
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("total 5 €")));
    EXPECT_TRUE(form->LineaNF->isEnabledTo(form->Pruebas));
}

TEST_F(CommandsTest, RatesCarryTheAuthorizationOfThisMonth)
{
    AnswerWith("\x03");
    TimeBase::SetNow(QDateTime(QDate(2026, 12, 6), QTime(17, 5, 9)));
    form->cambiatasaClick(form->cambiatasa);
    ASSERT_EQ(peer->Payloads().size(), 1);
    EXPECT_EQ(peer->Payloads()[0], PayloadTasas("0700", "1000", "1500",
                                                CampoAutorizacion("2612", "0700", "1000", "1500")));
}

TEST_F(CommandsTest, ShortRateIsRefusedAndNothingSent)
{
    form->iva3->setText(QStringLiteral("150"));
    form->cambiatasaClick(form->cambiatasa);
    EXPECT_TRUE(peer->Received().isEmpty());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("4 caracteres")));
}

TEST_F(CommandsTest, FinishSendsTheClockAndLeavesItInTheBoxes)
{
    AnswerWith("\x02"
               "AX\x1C"
               "0000\x03");
    TimeBase::SetNow(QDateTime(QDate(2026, 12, 6), QTime(17, 5, 9)));
    form->wizardFinishButtonClick(nullptr);
    ASSERT_EQ(peer->Payloads().size(), 1);
    EXPECT_EQ(peer->Payloads()[0], QByteArray("X\x1C"
                                              "261206\x1C"
                                              "170509"));
    EXPECT_EQ(form->edfecha->text(), QStringLiteral("261206"));
    EXPECT_EQ(form->edhora->text(), QStringLiteral("170509"));
    EXPECT_EQ(messages, QStringList{SuccessMessage});
    EXPECT_TRUE(form->reiniciar->isEnabled());
    EXPECT_TRUE(form->Pruebas->isEnabled());
}

// The computer's clock set after the window opened (time sync, a technician) is what Finish
// sends, forward and back; so is the month of the rates' authorization.
TEST_F(CommandsTest, FinishSendsTheComputersClockAfterItWasSet)
{
    AnswerWith("\x02"
               "AX\x1C"
               "0000\x03");
    ComputerClock computer(QDateTime(QDate(2026, 12, 6), QTime(12, 0, 0)));
    computer.Shift(qint64(40) * 24 * 3600 * 1000);
    form->wizardFinishButtonClick(nullptr);
    form->cambiatasaClick(form->cambiatasa);
    computer.Shift(qint64(-41) * 24 * 3600 * 1000);
    form->wizardFinishButtonClick(nullptr);
    ASSERT_EQ(peer->Payloads().size(), 3);
    EXPECT_TRUE(peer->Payloads()[0].startsWith("X\x1C"
                                               "270115\x1C"
                                               "12"))
        << peer->Payloads()[0].toStdString();
    EXPECT_EQ(peer->Payloads()[1], PayloadTasas("0700", "1000", "1500",
                                                CampoAutorizacion("2701", "0700", "1000", "1500")));
    EXPECT_TRUE(peer->Payloads()[2].startsWith("X\x1C"
                                               "261205\x1C"
                                               "12"))
        << peer->Payloads()[2].toStdString();
}

// Finish just before midnight: the computer's clock passes midnight right after the first
// reading, and the date still belongs to the time sent with it.
TEST_F(CommandsTest, FinishAtMidnightSendsDateAndTimeOfOneReading)
{
    AnswerWith("\x02"
               "AX\x1C"
               "0000\x03");
    ComputerClock computer(QDateTime(QDate(2026, 12, 6), QTime(23, 59, 59)));
    computer.ShiftAfterNextReading(1000);
    form->wizardFinishButtonClick(nullptr);
    ASSERT_EQ(peer->Payloads().size(), 1);
    const QList<QByteArray> fields = peer->Payloads()[0].split('\x1C');
    ASSERT_EQ(fields.size(), 3);
    const bool before = fields[1] == "261206" && fields[2] == "235959";
    const bool after = fields[1] == "261207" && fields[2].startsWith("0000");
    EXPECT_TRUE(before || after) << fields[1].toStdString() << " " << fields[2].toStdString();
}

TEST_F(CommandsTest, FinishJudgesTheReply)
{
    struct Case
    {
        QByteArray reply;
        QString message;
    } cases[] = {
        {"\x02"
         "AX\x1C"
         "ERROR\x03",
         ErrorMessage},
        {"\x02"
         "AXERRO\x03",
         ErrorMessage},
        {"\x02"
         "AX\x1C"
         "erro\x03",
         SuccessMessage},
        {"\x02 \x1C\t\x03 ", ErrorMessage},
        {"\x02 ! \x03", SuccessMessage},
    };
    for (const Case& c : cases) {
        messages.clear();
        AnswerWith(c.reply);
        form->wizardFinishButtonClick(nullptr);
        EXPECT_EQ(messages, QStringList{c.message}) << c.reply.toHex().toStdString();
    }
}

TEST_F(CommandsTest, FinishWithoutAnswerReportsTheError)
{
    form->puerto->Close();
    form->wizardFinishButtonClick(nullptr);
    EXPECT_EQ(messages, QStringList{ErrorMessage});
    EXPECT_TRUE(form->Pruebas->isEnabled());
}

TEST_F(CommandsTest, ResetWritesNineteenBytesThenEnablesTheTestsAfterItsWait)
{
    bool enabledAt6s = true;
    QTimer::singleShot(TimeBase::RealMs(6000), form.get(),
                       [&] { enabledAt6s = form->Pruebas->isEnabled(); });
    const double secs = ProgramSecs([this] { form->resetClick(form->reset); });
    EXPECT_EQ(peer->Received(), ResetBytes());
    EXPECT_FALSE(enabledAt6s);
    EXPECT_TRUE(form->Pruebas->isEnabled());
    EXPECT_GE(secs, 6.912);
    EXPECT_EQ(Secuencia(), 0); // not a frame: the sequence is untouched
}

TEST_F(CommandsTest, TestInvoiceSendsSixFramesAndItsMessage)
{
    AnswerWith("\x02"
               "A\x03");
    form->Button1Click(form->Button1);
    const QList<QByteArray> expected = {
        PayloadAbreFactura(),
        PayloadItem("PRODUCTO PRUEBA 9", "1000", "100", "0900"),
        PayloadItem("PRODUCTO PRUEBA 19", "1000", "001", "1900"),
        PayloadItem("PRODUCTO EXENTO", "1000", "001", "0000"),
        PayloadItem("PRODUCTO 8", "1000", "001", "0800"),
        PayloadCierraFactura(),
    };
    EXPECT_EQ(peer->Payloads(), expected);
    EXPECT_EQ(messages, QStringList{InvoiceMessage});
}

TEST_F(CommandsTest, TestInvoiceEndsWithItsMessageAlsoWithThePortClosed)
{
    TimeBase::SetScale(200);
    form->puerto->Close();
    const double secs = ProgramSecs([this] { form->Button1Click(form->Button1); });
    EXPECT_EQ(messages, QStringList{InvoiceMessage});
    EXPECT_TRUE(peer->Received().isEmpty());
    EXPECT_GE(secs, 6 * 32.0 + 2.0); // six unanswered exchanges and the extra pause
}

using SerialNumberTest = FormFixture;

TEST_F(SerialNumberTest, TakenFromCharacters16To25OfTheStatusReply)
{
    const QByteArray stx(1, '\x02'), etx(1, '\x03'), fs(1, '\x1C');
    struct Case
    {
        QByteArray reply;
        QString serial;
    } cases[] = {
        {stx + "0123456789" + etx, QString()}, // 12 characters: none
        {stx + "0123456789ABCD" + "WXYZ" + etx, QStringLiteral("WXYZ\u2403")}, // 20: five
        {stx + "0123456789ABCD" + "SERIAL0001" + fs + "rest" + etx, QStringLiteral("SERIAL0001")},
    };
    for (const Case& c : cases) {
        peer->OnFrame = [this, reply = c.reply](const QByteArray&) { peer->Send(reply); };
        form->Timer1Timer(form->Timer1);
        EXPECT_EQ(form->lbport->text(), QStringLiteral("COM3"));
        EXPECT_EQ(form->lbserial->text(), c.serial) << c.reply.toStdString();
        EXPECT_TRUE(ImpresorEncontrado());
    }
}
