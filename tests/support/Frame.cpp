#include "support/Frame.h"

#include <cstdio>

std::string Frame(char seq, std::string_view payload)
{
    std::string frame = std::string("\x02") + seq + std::string(payload) + "\x03";
    unsigned sum = 0;
    for (unsigned char c : frame)
        sum += c;
    char digits[16];
    std::snprintf(digits, sizeof digits, "%04X", sum);
    return frame + digits;
}
