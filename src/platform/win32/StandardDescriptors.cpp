#include "platform/StandardDescriptors.h"

// Windows does not number its handles from the lowest free one: a file opened later never takes
// the place of a missing standard handle, so there is nothing to fill in. (A program of the GUI
// subsystem has none; its command-line answers find the console in app/ParentConsole.h.)
bool OpenStandardDescriptors()
{
    return true;
}
