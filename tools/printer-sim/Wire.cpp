#include "Wire.h"

#include <cstdio>

namespace printersim {

unsigned ByteSum(std::string_view bytes)
{
    unsigned sum = 0;
    for (char c : bytes)
        sum += static_cast<unsigned char>(c);
    return sum;
}

std::string CheckDigits(unsigned sum)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04X", sum);
    return text;
}

std::string BuildFrame(char seq, std::string_view payload)
{
    std::string frame;
    frame.reserve(payload.size() + 8);
    frame += Stx;
    frame += seq;
    frame += payload;
    frame += Etx;
    frame += CheckDigits(ByteSum(frame));
    return frame;
}

std::string HexText(std::string_view bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 3);
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (!text.empty())
            text += ' ';
        text += digits[b >> 4];
        text += digits[b & 0x0F];
    }
    return text;
}

std::string ReadableText(std::string_view bytes)
{
    static const char* const ControlNames[32] = {
        "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
        "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
        "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
    std::string text;
    text.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F) {
            text += c;
        } else if (b < 0x20) {
            text += '<';
            text += ControlNames[b];
            text += '>';
        } else if (b == 0x7F) {
            text += "<DEL>";
        } else {
            char code[8];
            std::snprintf(code, sizeof code, "<%02X>", b);
            text += code;
        }
    }
    return text;
}

} // namespace printersim
