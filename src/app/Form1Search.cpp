#include "app/Form1.h"

#include "app/LinkState.h"
#include "app/Payloads.h"
#include "app/PortRefusals.h"
#include "app/ReplyBox.h"
#include "app/TrafficRecord.h"
#include "runtime/Application.h"
#include "runtime/Wait.h"
#include "serial/VaComm.h"

#include <QLabel>

#include <cstdio>

namespace {

constexpr int FirstPort = 1;
constexpr int LastPort = 20;
// After the exchange the printer may still be finishing its reply (0.00004 day).
constexpr double SearchExtraWaitSecs = 3.456;
// The status reply carries the printer's serial number at characters 16 to 25.
constexpr int SerialOffset = 15;
constexpr int SerialLength = 10;

// The port page's labels size themselves to their text.
void ShowOn(QLabel* label, const QString& text)
{
    label->setText(text);
    label->adjustSize();
}

// A port that exists but refused to open is said on stderr at once and kept for the advice at
// the end; a missing one is skipped without a word.
void NoteRefusal(QList<PortRefusal>& refusals, const QString& comName, const std::exception& error)
{
    if (std::optional<PortRefusal> refusal = RefusalOf(comName, error)) {
        std::fprintf(stderr, "%s\n", qPrintable(RefusalLine(*refusal)));
        refusals.append(std::move(*refusal));
    }
}

} // namespace

void TForm1::pgPuertoEnterPage(QObject*)
{
    Timer1->SetEnabled(true);
}

void TForm1::Timer1Timer(QObject*)
{
    Timer1->SetEnabled(false);
    SetImpresorEncontrado(false);
    ShowOn(lbserial, QString());
    lbport->setToolTip(QString());
    QList<PortRefusal> refusals;

    for (int i = FirstPort; i <= LastPort; ++i) {
        // Once the program has been told to end, no further port is opened or written to: a
        // row of silent ports would keep it going for minutes. The exchange under way has run
        // to its end, and a search nested inside it stops here too.
        if (Application().Terminated())
            return;
        ShowPortText(QStringLiteral("Evaluando COM%1").arg(i));
        // Shown before the port is touched: opening or waiting may take a while.
        repaint();
        traffic->Event(QStringLiteral("Probando COM%1").arg(i));

        try {
            puerto->Close();
        } catch (const std::exception&) {
        }
        // A port that failed to close refuses the new number: that error ends the search.
        puerto->SetPortNum(i);
        try {
            puerto->Open();
        } catch (const std::exception& error) {
            traffic->Event(QStringLiteral("COM%1 no se pudo abrir: %2")
                               .arg(i)
                               .arg(QString::fromUtf8(error.what())));
            NoteRefusal(refusals, QStringLiteral("COM%1").arg(i), error);
            continue; // missing, busy or not configurable
        }
        traffic->Event(QStringLiteral("COM%1 abierto").arg(i));
        try {
            EnviaComando(PayloadEstado());
            WaitUntil(Now() + Seconds(SearchExtraWaitSecs), [] { return RespuestaCompleta(); });
        } catch (const std::exception& e) {
            traffic->Event(
                QStringLiteral("COM%1 falló: %2").arg(i).arg(QString::fromUtf8(e.what())));
            continue;
        }
        if (!RespuestaCompleta()) {
            traffic->Event(QStringLiteral("COM%1 sin respuesta").arg(i));
            continue;
        }

        ShowOn(lbserial, ShowBytes(respuesta->Bytes().mid(SerialOffset, SerialLength)));
        SetImpresorEncontrado(true);
        ShowPortText(QStringLiteral("COM%1").arg(i));
        lbport->setToolTip(QString::fromLocal8Bit(DevicePathOfCom(QStringLiteral("COM%1").arg(i))));
        traffic->Event(QStringLiteral("Impresora encontrada en COM%1, serial %2")
                           .arg(i)
                           .arg(lbserial->text()));
        return;
    }
    ShowPortText(QStringLiteral("Impresora no encontrada"));
    traffic->Event(QStringLiteral("Impresora no encontrada en COM1 a COM20"));
    if (const QString advice = RefusalAdvice(refusals, CurrentUserName()); !advice.isEmpty())
        Application().MessageBox(advice);
}

void TForm1::ShowPortText(const QString& text)
{
    ShowOn(lbport, text);
    emit PortTextShown(text);
}
