#pragma once

#include <QByteArray>
#include <QtGlobal>

// Bytes with a fixed meaning on the printer's line.
inline constexpr char STX = 0x02;
inline constexpr char ETX = 0x03;
inline constexpr char FS = 0x1C;  // separates the fields of a payload
inline constexpr char DEL = 0x7F; // the whole content of several payload fields

// The byte sum as upper-case hexadecimal text, at least four digits. The sum is never cut to
// 16 bits: 0x10000 and above give five digits or more.
QByteArray CheckDigits(quint32 sum);

// STX, the low byte of the sequence value, the payload unchanged, ETX, then the check digits of
// the sum of every byte from STX through ETX.
QByteArray BuildFrame(qint32 secuencia, const QByteArray& payload);
