#pragma once

#include <QByteArray>
#include <QString>

struct TDecodedFrame;
struct TTrafficEntry;

// The traffic record as text. One entry is one line, the same for the log file, "Guardar…" and
// the simulator's log, so that one reader serves both sides of the line:
//   2026-12-07T22:25:39.123 TX 02 44 80 03 30 30 43 39 | <STX>D<80><ETX>00C9
// local time to the millisecond; TX (to the printer), RX (from it) or EV (an event, followed by
// its words instead of bytes); the bytes as upper-case hex pairs; " | "; the readable form.

// "02 44 80 03": upper-case hex pairs separated by single spaces.
QString HexPairs(const QByteArray& bytes);

// Printable ASCII as it is; control bytes by their names (<NUL> <STX> <ETX> <BEL> <FS> ...,
// <DEL>); every byte from 0x80 on as its hex pair in angle brackets (<80>).
QString ReadableForm(const QByteArray& bytes);

QString TrafficLine(const TTrafficEntry& entry);

// The parts of a decoded frame in words: sequence byte, command, fields, and the check digits
// with their verdict.
QString FrameParts(const TDecodedFrame& frame);
