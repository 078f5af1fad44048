#pragma once

#include <string>
#include <string_view>

// Bytes and helpers shared by both directions of the printer's serial line.
namespace printersim {

constexpr char Stx = 0x02;
constexpr char Etx = 0x03;
constexpr char Nak = 0x15;
constexpr char Fs = 0x1C;

// Sum of the unsigned values of the bytes.
unsigned ByteSum(std::string_view bytes);

// The check digits that follow a frame's ETX: the byte sum in upper-case hexadecimal, zero-padded
// to four digits; a sum of 0x10000 or more keeps all its digits.
std::string CheckDigits(unsigned sum);

// STX, sequence byte, payload, ETX, check digits over STX..ETX.
std::string BuildFrame(char seq, std::string_view payload);

// "02 44 80 03" for the traffic log.
std::string HexText(std::string_view bytes);

// Printable ASCII as is, control bytes by their ASCII names (<NUL> <STX> <ETX> <BEL> <FS> <NAK>
// <DEL>...), every byte from 80 hex on as <hh> (<80>).
std::string ReadableText(std::string_view bytes);

} // namespace printersim
