#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The printer's reply as the link keeps it, and what the link and its front ends read from it.

// The reply holds no more than this: the reply box of the window shows the same bytes and a
// window text ends there. Far above any printer reply; a flood beyond it is dropped.
inline constexpr qsizetype ReplyCapacity = 32767;

// The reply after one more read. Like any window text the reply ends at its first zero byte: a
// zero byte received ends the read's part there and the rest of that read is lost, while later
// reads are appended behind it. AppendedReply({}, bytes) is the reply made of `bytes` alone.
QByteArray AppendedReply(const QByteArray& reply, const QByteArray& read);

// An ETX ends the reply.
bool ReplyEnded(const QByteArray& reply);

// The printer's serial number: characters 16 to 25 of the status reply (shorter or empty when
// the reply is).
QByteArray SerialNumberOf(const QByteArray& statusReply);

// A reply counts as an answer when something other than blanks and control bytes came.
bool HasAnswer(const QByteArray& reply);

// The printer marks a refused date or time with "ERRO" (also inside "ERROR").
bool DateTimeRefused(const QByteArray& reply);

// The stricter reading of an unattended front end, which nobody watches: the frame within
// `reply` that answers `frame`, a whole frame (STX to ETX, check digits right) that carries the
// sequence byte and the command byte of `frame` and is not `frame` itself come back (a loopback
// plug, a modem echoing). Bytes around it, and frames with another sequence or command byte (a
// reply to an earlier command that came late), are no answer.
std::optional<QByteArray> AnswerTo(const QByteArray& frame, const QByteArray& reply);

// A serial number as a printer gives it: 10 printable characters, no blank among them.
bool IsSerialNumber(const QByteArray& serial);

// Bytes as readable text: every byte one character, Latin-1, except the control bytes, which
// show as the Unicode control pictures (STX as U+2402, ETX as U+2403, FS as U+241C, DEL as
// U+2421). ReadableBytes undoes it exactly.
QString ShowBytes(const QByteArray& bytes);
QByteArray ReadableBytes(const QString& text);
