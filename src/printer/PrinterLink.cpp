#include "printer/PrinterLink.h"

#include "printer/Frame.h"
#include "printer/LinkState.h"
#include "printer/Payloads.h"
#include "printer/Reply.h"
#include "printer/Sequence.h"
#include "printer/TrafficFormat.h"
#include "printer/TrafficRecord.h"
#include "runtime/Wait.h"
#include "serial/VaComm.h"

#include <QScopeGuard>

namespace {

// The printer answers well within this; a silent port costs all of it.
constexpr double ReplyLimitSecs = 30;
// The printer needs a moment after each reply before it takes the next frame.
constexpr double SettlingSecs = 2;
// After the exchange the printer may still be finishing its reply (0.00004 day).
constexpr double SearchExtraWaitSecs = 3.456;

const QByteArray ComDeviceName = QByteArrayLiteral("\\\\.\\COM%d");
constexpr int InitialCom = 2;

QString ComName(int com)
{
    return QStringLiteral("COM%1").arg(com);
}

} // namespace

TPrinterLink::TPrinterLink(TTrafficRecord& traffic, QObject* parent)
    : QObject(parent), traffic_(traffic), port_(new TVaComm(this))
{
    port_->setObjectName(QStringLiteral("puerto"));
    port_->SetBaudrate(br9600);
    auto* flow = port_->FlowControl();
    flow->SetOutCtsFlow(false);
    flow->SetOutDsrFlow(false);
    flow->SetControlDtr(dtrDisabled);
    flow->SetControlRts(rtsDisabled);
    flow->SetXonXoffOut(false);
    flow->SetXonXoffIn(false);
    flow->SetDsrSensitivity(false);
    flow->SetTxContinueOnXoff(false);
    port_->SetPortNum(InitialCom);
    port_->SetDeviceName(ComDeviceName);
    port_->SetMonitorEvents({ceError, ceRxChar});
    port_->SetDirectWrite(true);
    // A close the link did not ask for is a device that hung up or went away: the technician's
    // record must show it, not end on the last frame sent.
    port_->OnClose = [this](QObject*) {
        if (!closing_)
            traffic_.Event(
                QStringLiteral("Conexión perdida: %1 colgó o desapareció").arg(PortLabel()));
    };
}

QString TPrinterLink::PortLabel() const
{
    if (port_->DeviceName() == ComDeviceName)
        return ComName(port_->PortNum());
    return QString::fromLocal8Bit(port_->DeviceName())
        .replace(QStringLiteral("%%"), QStringLiteral("%"));
}

void TPrinterLink::ClosePort()
{
    closing_ = true;
    const auto done = qScopeGuard([this] { closing_ = false; });
    port_->Close();
}

void TPrinterLink::OpenCom(int com)
{
    ClosePort();
    port_->SetDeviceName(ComDeviceName);
    port_->SetPortNum(com);
    port_->Open();
}

void TPrinterLink::OpenDevice(const QByteArray& path)
{
    ClosePort();
    // The device name is a format with the port number in it: a '%' in the path is literal.
    QByteArray name = path;
    port_->SetDeviceName(name.replace('%', "%%"));
    port_->Open();
}

bool TPrinterLink::Send(const QByteArray& payload)
{
    SetRespuestaCompleta(false);
    const QByteArray frame = BuildFrame(SiguienteSecuencia(), payload);
    SetReply({});
    if (AnswerOf)
        DropStaleInput();
    lastFrame_ = frame;
    Write(frame, false);

    // The reply arrives through the poll ticks, so both waits keep the event loop running;
    // they sleep in it rather than spin. A command started from inside a wait (a click) clears
    // the reply: this wait then goes on with that command's reply.
    WaitUntil(Now() + Seconds(ReplyLimitSecs), [this] { return Answered(); });
    WaitUntil(Now() + Seconds(SettlingSecs));
    return Answered();
}

bool TPrinterLink::Answered() const
{
    if (AnswerOf)
        return AnswerOf(lastFrame_, reply_).has_value();
    return ReplyEnded(reply_);
}

void TPrinterLink::DropStaleInput()
{
    if (!port_->Active())
        return;
    // A flood could feed the port for ever: what one reply could hold is enough to drop.
    QByteArray stale;
    for (QByteArray bytes = port_->ReadText(); !bytes.isEmpty() && stale.size() < ReplyCapacity;
         bytes = port_->ReadText())
        stale += bytes;
    if (stale.isEmpty())
        return;
    traffic_.Received(stale);
    traffic_.Event(QStringLiteral("Descartados %1 bytes que quedaban de un intercambio anterior")
                       .arg(stale.size()));
}

void TPrinterLink::Poll()
{
    if (!port_->Active())
        return;
    QByteArray bytes;
    try {
        bytes = port_->ReadText();
    } catch (const std::exception& e) {
        traffic_.Event(QStringLiteral("Error al leer: %1").arg(QString::fromUtf8(e.what())));
        throw;
    }
    traffic_.Received(bytes);
    SetReply(AppendedReply(reply_, bytes));
    if (Answered())
        SetRespuestaCompleta(true);
}

void TPrinterLink::Write(const QByteArray& bytes, bool byteByByte)
{
    const QDateTime at = traffic_.Clock();
    const bool open = port_->Active();
    bool accepted = true;
    try {
        if (byteByByte) {
            for (char b : bytes)
                accepted = port_->WriteChar(b) && accepted;
        } else {
            accepted = port_->WriteText(bytes);
        }
    } catch (const std::exception& e) {
        // How much went out before the error is not known: no TX entry claims any of it.
        traffic_.Event(QStringLiteral("Error al escribir %1: %2")
                           .arg(ReadableForm(bytes), QString::fromUtf8(e.what())));
        throw;
    }
    traffic_.Written(at, bytes,
                     !open      ? TWriteOutcome::PortClosed
                     : accepted ? TWriteOutcome::Written
                                : TWriteOutcome::Unconfirmed);
}

TSearchResult TPrinterLink::Search()
{
    SetImpresorEncontrado(false);
    serialNumber_.clear();
    foundCom_ = 0;
    TSearchResult result;

    for (int i = FirstCom; i <= LastCom; ++i) {
        // Once the program has been told to end, no further port is opened or written to: a
        // row of silent ports would keep it going for minutes. The exchange under way has run
        // to its end, and a search nested inside it stops here too.
        if (StopRequested()) {
            result.Stopped = true;
            return result;
        }
        emit PortTried(i);
        traffic_.Event(QStringLiteral("Probando COM%1").arg(i));

        try {
            ClosePort();
        } catch (const std::exception&) {
        }
        // A port that failed to close refuses the new number: that error ends the search.
        port_->SetPortNum(i);
        // COMn even when the port was last opened on a device path (OpenDevice).
        port_->SetDeviceName(ComDeviceName);
        try {
            port_->Open();
        } catch (const std::exception& error) {
            traffic_.Event(QStringLiteral("COM%1 no se pudo abrir: %2")
                               .arg(i)
                               .arg(QString::fromUtf8(error.what())));
            // A missing port is skipped without a word: most of COM1..COM20 are missing.
            if (std::optional<PortRefusal> refusal = RefusalOf(ComName(i), error)) {
                emit PortRefused(*refusal);
                result.Refusals.append(std::move(*refusal));
            }
            continue; // missing, busy or not configurable
        }
        traffic_.Event(QStringLiteral("COM%1 abierto").arg(i));
        try {
            Send(PayloadEstado());
            WaitUntil(Now() + Seconds(SearchExtraWaitSecs), [] { return RespuestaCompleta(); });
        } catch (const std::exception& e) {
            traffic_.Event(
                QStringLiteral("COM%1 falló: %2").arg(i).arg(QString::fromUtf8(e.what())));
            continue;
        }
        if (!RespuestaCompleta()) {
            traffic_.Event(QStringLiteral("COM%1 sin respuesta").arg(i));
            continue;
        }

        if (SearchAccepts && !SearchAccepts(i)) {
            traffic_.Event(QStringLiteral("COM%1 no es la impresora buscada").arg(i));
            continue;
        }

        serialNumber_ =
            SerialNumberOf(AnswerOf ? AnswerOf(lastFrame_, reply_).value_or(reply_) : reply_);
        foundCom_ = i;
        SetImpresorEncontrado(true);
        emit PrinterFound(i, serialNumber_);
        traffic_.Event(QStringLiteral("Impresora encontrada en COM%1, serial %2")
                           .arg(i)
                           .arg(ShowBytes(serialNumber_)));
        result.Found = true;
        result.Com = i;
        result.SerialNumber = serialNumber_;
        return result;
    }
    emit PrinterNotFound();
    traffic_.Event(QStringLiteral("Impresora no encontrada en COM1 a COM20"));
    return result;
}

void TPrinterLink::SetReply(const QByteArray& bytes)
{
    const QByteArray kept = AppendedReply({}, bytes);
    if (kept == reply_)
        return;
    reply_ = kept;
    emit ReplyChanged(reply_);
}

bool TPrinterLink::ReplyComplete() const
{
    return RespuestaCompleta();
}
