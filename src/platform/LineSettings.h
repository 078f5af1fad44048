#pragma once

#include "platform/ControlBlock.h"

#include <QtGlobal>

#include <termios.h>

// What to do with a modem control line after the settings are written.
enum class ModemLine
{
    Leave, // the driver drives it (hardware handshake) or there is no way to express the mode
    Raise,
    Drop,
};

struct LineSettings
{
    // False when the block cannot be expressed at all (speed 0, byte size or parity out of
    // range): the device refuses it with EINVAL and keeps what it has. Speed 0 matters most:
    // on a terminal it means "hang up".
    bool Valid = false;
    termios Tio{};
    // The speed has no Bxxx constant and is set separately (termios2, BOTHER); Tio then keeps the
    // speed it was built from.
    bool CustomSpeed = false;
    quint32 Speed = 0;
    ModemLine Dtr = ModemLine::Leave;
    ModemLine Rts = ModemLine::Leave;
};

// Maps a control block onto terminal settings, starting from the device's current ones so that
// fields this mapping does not own (line discipline, HUPCL) stay as they are. The result is always
// raw (see MakeRaw).
//
// Mapping and what is dropped:
// - 4 data bits have no counterpart: CS5 is the nearest the driver knows.
// - Mark and space parity use CMSPAR; ParityCheck turns on INPCK (bytes with bad parity then
//   read as 0). Error-character replacement and zero stripping have no counterpart: dropped.
// - 1.5 stop bits: CSTOPB (the UART sends 1.5 with 5 data bits, 2 otherwise).
// - CTS output flow or RTS handshake: CRTSCTS. DSR flow, DSR sensitivity and DTR handshake have
//   no counterpart: dropped, and a DTR in handshake mode is left to the driver.
// - XonXoffOut: IXON; XonXoffIn: IXOFF; the XON/XOFF characters go to VSTART/VSTOP. The
//   XON/XOFF limits, TxContinueOnXoff, the event and end-of-input characters: dropped.
// - RTS toggle (RTS up only while sending) has no counterpart: RTS is left to the driver.
LineSettings MakeLineSettings(const termios& current, const CommControlBlock& dcb);

// Raw line discipline on top of whatever framing, speed and flow control the settings hold: no
// canonical input, echo, signals or character translation (0x03, our ETX, is the interrupt
// character of a cooked line), and a received break is left out of the data instead of arriving
// as a zero byte that would cut a reply short (the driver still counts it). Reads return at once
// with what has arrived (VMIN 1, VTIME 0 on a non-blocking descriptor).
void MakeRaw(termios& t);

// The Bxxx constant for a speed in bits per second, or 0 when there is none.
speed_t StandardSpeed(quint32 bitsPerSecond);
