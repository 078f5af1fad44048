#include "app/Form1.h"

#include "printer/Journal.h"
#include "printer/Payloads.h"
#include "printer/PrinterLink.h"
#include "printer/Reply.h"
#include "runtime/Application.h"
#include "runtime/Wait.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>

namespace {

const QString MsgErrorInesperado = QStringLiteral("Ocurrio un error inesperado. Repita el proceso "
                                                  "y si persiste la falla llame a su distribuidor");
const QString MsgActualizado = QStringLiteral("Impresor Actualizado Satisfacotiamente");
const QString MsgFactura = QStringLiteral("Factura enviada con producto a 11, 21, 8 y exento");
const QString MsgNoLatin1 = QStringLiteral(
    "El texto \"%1\" tiene caracteres que el impresor no puede recibir. No se envio nada.");
const QString MsgTasaCorta = QStringLiteral(
    "Cada tasa debe tener 4 caracteres, por ejemplo 0700 para 7%. No se envio nada.");

// The printer takes a moment to open an invoice before it accepts items.
constexpr double InvoiceOpenSecs = 2;
// The printer restarts after the reset sequence (0.00008 day).
constexpr double ResetSecs = 6.912;

struct Item
{
    const char* descripcion;
    const char* precio;
    const char* tasa;
};

constexpr Item TestItems[] = {
    {"PRODUCTO PRUEBA 9", "1", "0900"},
    {"PRODUCTO PRUEBA 19", "0.01", "1900"},
    {"PRODUCTO EXENTO", "0.01", "0000"},
    {"PRODUCTO 8", "0.01", "0800"},
};

} // namespace

std::optional<QByteArray> TForm1::TypedBytes(const QLineEdit* box)
{
    std::optional<QByteArray> bytes = ToLatin1(box->text());
    if (!bytes)
        Application().MessageBox(MsgNoLatin1.arg(box->text()));
    return bytes;
}

void TForm1::btrepzClick(QObject*)
{
    EnviaComando(PayloadReporteZ());
    RecordJob(QStringLiteral("z"),
              ReplyEnded(link->Reply()) ? JobResult::Answered : JobResult::NoReply);
}

void TForm1::AbreNFClick(QObject*)
{
    EnviaComando(PayloadAbreNF());
}

void TForm1::LineaNFClick(QObject*)
{
    LineaNF->setEnabled(false);
    // Enabled again also when the port raises: a stuck button would need a restart.
    const auto enableAgain = qScopeGuard([this] { LineaNF->setEnabled(true); });
    const std::optional<QByteArray> texto = TypedBytes(edlinea);
    if (!texto)
        return;
    EnviaComando(PayloadLineaNF(*texto));
}

void TForm1::CierraNFClick(QObject*)
{
    EnviaComando(PayloadCierraNF());
}

void TForm1::cambiatasaClick(QObject*)
{
    int year = 0, month = 0, day = 0;
    DecodeDate(Now(), year, month, day);
    const QByteArray anoMes = CampoAnoMes(year, month);

    QByteArray tasas[3];
    const QLineEdit* boxes[3] = {iva1, iva2, iva3};
    for (int i = 0; i < 3; ++i) {
        const std::optional<QByteArray> tasa = TypedBytes(boxes[i]);
        if (!tasa)
            return;
        // The authorization field is made from four characters of each rate: a shorter rate
        // is refused rather than guessed at.
        if (tasa->size() < TasaLength) {
            Application().MessageBox(MsgTasaCorta);
            return;
        }
        tasas[i] = *tasa;
    }
    EnviaComando(PayloadTasas(tasas[0], tasas[1], tasas[2],
                              CampoAutorizacion(anoMes, tasas[0], tasas[1], tasas[2])));
}

void TForm1::Button1Click(QObject*)
{
    EnviaComando(PayloadAbreFactura());
    WaitUntil(Now() + Seconds(InvoiceOpenSecs));
    const QByteArray cantidad = FormateaMonto(QStringLiteral("1"), 3).toLatin1();
    for (const Item& item : TestItems)
        EnviaComando(PayloadItem(item.descripcion, cantidad,
                                 FormateaMonto(QLatin1String(item.precio), 2).toLatin1(),
                                 item.tasa));
    EnviaComando(PayloadCierraFactura());
    Application().MessageBox(MsgFactura);
}

void TForm1::resetClick(QObject*)
{
    link->Write(ResetBytes(), true);
    WaitUntil(Now() + Seconds(ResetSecs));
    Pruebas->setEnabled(true);
}

void TForm1::wizardFinishButtonClick(QObject*)
{
    // One reading for both fields: two readings around midnight could pair the old day with
    // the new day's time.
    const TDateTime now = Now();
    int year = 0, month = 0, day = 0;
    DecodeDate(now, year, month, day);
    edfecha->setText(QString::fromLatin1(CampoFecha(year, month, day)));
    int hour = 0, min = 0, sec = 0, msec = 0;
    DecodeTime(now, hour, min, sec, msec);
    edhora->setText(QString::fromLatin1(CampoHora(hour, min, sec)));

    EnviaComando(PayloadFechaHora(edfecha->text().toLatin1(), edhora->text().toLatin1()));

    const QByteArray reply = link->Reply();
    RecordJob(QStringLiteral("clock"), !HasAnswer(reply)        ? JobResult::NoReply
                                       : DateTimeRefused(reply) ? JobResult::Refused
                                                                : JobResult::Accepted);
    if (!HasAnswer(reply) || DateTimeRefused(reply))
        Application().MessageBox(MsgErrorInesperado);
    else
        Application().MessageBox(MsgActualizado);
    reiniciar->setEnabled(true);
    Pruebas->setEnabled(true);
}
