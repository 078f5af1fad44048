#include "platform/SystemError.h"

#include <clocale>
#include <cstring>
#include <locale.h>
#include <string>

std::string UntranslatedError(int error)
{
    const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    if (c == locale_t(nullptr))
        return "error " + std::to_string(error);
    std::string text = strerror_l(error, c);
    freelocale(c);
    return text;
}
