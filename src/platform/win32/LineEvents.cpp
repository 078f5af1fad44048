#include "platform/LineEvents.h"

#include <windows.h>

bool IsDeviceGone(int error)
{
    switch (DWORD(error)) {
    case ERROR_BAD_COMMAND: // USB serial drivers once the adapter is pulled out
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_GEN_FAILURE:
    case ERROR_NOT_READY: // Wine, when the far end of a pseudo-terminal has gone
    case ERROR_BROKEN_PIPE:
    case ERROR_INVALID_HANDLE:
    case ERROR_ACCESS_DENIED: // some drivers, on a handle whose device has gone
        return true;
    default:
        return false;
    }
}

const int SystemCode::NoSuchDevice = ERROR_FILE_NOT_FOUND;
const int SystemCode::InvalidArgument = ERROR_INVALID_PARAMETER;
const int SystemCode::OutOfMemory = ERROR_NOT_ENOUGH_MEMORY;
