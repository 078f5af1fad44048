#include "app/Form1.h"

#include "app/Frame.h"
#include "app/LinkState.h"
#include "app/ReplyBox.h"
#include "app/Sequence.h"
#include "app/TrafficRecord.h"
#include "runtime/Wait.h"
#include "serial/VaComm.h"

namespace {

// The printer answers well within this; a silent port costs all of it.
constexpr double ReplyLimitSecs = 30;
// The printer needs a moment after each reply before it takes the next frame.
constexpr double SettlingSecs = 2;

} // namespace

void TForm1::EnviaComando(const QByteArray& payload)
{
    SetRespuestaCompleta(false);
    const QByteArray frame = BuildFrame(SiguienteSecuencia(), payload);
    respuesta->SetBytes({});
    WriteToPrinter(frame, false);

    // The reply arrives through Timer2's ticks, so both waits keep the message loop running;
    // they sleep in it rather than spin. A command started from inside a wait (a click) clears
    // the reply text: this wait then goes on with that command's reply.
    WaitUntil(Now() + Seconds(ReplyLimitSecs), [this] { return respuesta->Bytes().contains(ETX); });
    WaitUntil(Now() + Seconds(SettlingSecs));
}

void TForm1::Timer2Timer(QObject*)
{
    if (!puerto->Active())
        return;
    const QByteArray bytes = puerto->ReadText();
    traffic->Received(bytes);
    respuesta->AppendBytes(bytes);
    if (respuesta->Bytes().contains(ETX))
        SetRespuestaCompleta(true);
}
