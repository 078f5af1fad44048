#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Payloads of the printer's commands: a command byte, then fields each preceded by FS. The
// frame (Frame.h) wraps them; only the reset bytes go out unframed.

QByteArray PayloadEstado();                         // status request
QByteArray PayloadReporteZ();                       // daily closing report
QByteArray PayloadAbreNF();                         // open non-fiscal document
QByteArray PayloadLineaNF(const QByteArray& texto); // one non-fiscal line
QByteArray PayloadCierraNF();                       // close non-fiscal document
QByteArray PayloadFechaHora(const QByteArray& fecha, const QByteArray& hora);
QByteArray PayloadTasas(const QByteArray& tasa1, const QByteArray& tasa2, const QByteArray& tasa3,
                        const QByteArray& autorizacion);
QByteArray PayloadAbreFactura(); // open test invoice
QByteArray PayloadItem(const QByteArray& descripcion, const QByteArray& cantidad,
                       const QByteArray& precio, const QByteArray& tasa);
QByteArray PayloadCierraFactura(); // close test invoice
// The raw reset sequence, 07 up to 19, written one byte at a time without a frame.
QByteArray ResetBytes();

// Date field YYMMDD (year - 2000), time field HHMMSS and the year-and-month text YYMM, each
// part at least two digits with leading zeros.
QByteArray CampoFecha(int year, int month, int day);
QByteArray CampoHora(int hour, int min, int sec);
QByteArray CampoAnoMes(int year, int month);

// A tax rate holds four characters, in hundredths of a percent ("0700" is 7.00 %).
inline constexpr int TasaLength = 4;

// The authorization field of the rate command. The printer checks it against the date and the
// rates it receives, so it is computed afresh on every send from the four characters of the
// year-and-month text followed by the first four characters of each rate: the sum of each
// character's byte value times its position (1 to 16), written like the check digits of a frame
// (upper-case hexadecimal, at least four digits).
QByteArray CampoAutorizacion(const QByteArray& anoMes, const QByteArray& tasa1,
                             const QByteArray& tasa2, const QByteArray& tasa3);

// An amount as digits with `decimales` implied decimals: a comma counts as the decimal point,
// missing decimals become zeros, extra ones are dropped (not rounded) and the integer part is
// kept as written. "1,5" with 2 gives "150"; "0.019" with 2 gives "001".
QString FormateaMonto(const QString& texto, quint8 decimales);

// The text as 8-bit Latin-1 bytes, or nothing when a character has no Latin-1 byte: the printer
// must not receive a silently changed text.
std::optional<QByteArray> ToLatin1(const QString& text);
