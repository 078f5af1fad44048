#include "app/Form1.h"

#include "app/LinkState.h"
#include "app/Payloads.h"
#include "app/ReplyBox.h"
#include "runtime/Wait.h"
#include "serial/VaComm.h"

#include <QLabel>

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

    for (int i = FirstPort; i <= LastPort; ++i) {
        ShowPortText(QStringLiteral("Evaluando COM%1").arg(i));
        // Shown before the port is touched: opening or waiting may take a while.
        repaint();

        try {
            puerto->Close();
        } catch (const std::exception&) {
        }
        // A port that failed to close refuses the new number: that error ends the search.
        puerto->SetPortNum(i);
        try {
            puerto->Open();
        } catch (const std::exception&) {
            continue; // missing, busy or not configurable
        }
        try {
            EnviaComando(PayloadEstado());
            WaitUntil(Now() + Seconds(SearchExtraWaitSecs), [] { return RespuestaCompleta(); });
        } catch (const std::exception&) {
            continue;
        }
        if (!RespuestaCompleta())
            continue;

        ShowOn(lbserial, ShowBytes(respuesta->Bytes().mid(SerialOffset, SerialLength)));
        SetImpresorEncontrado(true);
        ShowPortText(QStringLiteral("COM%1").arg(i));
        return;
    }
    ShowPortText(QStringLiteral("Impresora no encontrada"));
}

void TForm1::ShowPortText(const QString& text)
{
    ShowOn(lbport, text);
    emit PortTextShown(text);
}
