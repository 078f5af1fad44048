#pragma once

#include <QtGlobal>

// The port component keeps its line settings as a device control block: speed, framing, the
// flag word and the special characters. Each side of the platform layer turns it into its own line
// settings.
struct CommControlBlock
{
    quint32 BaudRate = 0;
    quint32 Flags = 0;
    quint16 XonLim = 0;
    quint16 XoffLim = 0;
    quint8 ByteSize = 8; // 4..8
    quint8 Parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    quint8 StopBits = 0; // 0 one, 1 one and a half, 2 two
    quint8 XonChar = 0;
    quint8 XoffChar = 0;
    quint8 ErrorChar = 0;
    quint8 EofChar = 0;
    quint8 EvtChar = 0;
};

// Bits of CommControlBlock::Flags.
namespace DcbFlag {
inline constexpr quint32 Binary = 0x0001;
inline constexpr quint32 ParityCheck = 0x0002;
inline constexpr quint32 OutCtsFlow = 0x0004;
inline constexpr quint32 OutDsrFlow = 0x0008;
inline constexpr quint32 DtrControlMask = 0x0030;
inline constexpr quint32 DtrEnable = 0x0010;
inline constexpr quint32 DtrHandshake = 0x0020;
inline constexpr quint32 DsrSensitivity = 0x0040;
inline constexpr quint32 TxContinueOnXoff = 0x0080;
inline constexpr quint32 XonXoffOut = 0x0100;
inline constexpr quint32 XonXoffIn = 0x0200;
inline constexpr quint32 ErrorChar = 0x0400;
inline constexpr quint32 NullStrip = 0x0800;
inline constexpr quint32 RtsControlMask = 0x3000;
inline constexpr quint32 RtsEnable = 0x1000;
inline constexpr quint32 RtsHandshake = 0x2000;
inline constexpr quint32 RtsToggle = 0x3000;
} // namespace DcbFlag
