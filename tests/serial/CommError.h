#pragma once

#include "serial/VaComm.h"

#include <QString>

// The message of the port error that the action raises, or an empty text when it raises none.
template <typename F> QString ErrorOf(F&& action)
{
    try {
        action();
    } catch (const EVaCommError& e) {
        return e.Message();
    }
    return {};
}
