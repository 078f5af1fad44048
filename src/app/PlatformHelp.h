#pragma once

#include <QString>

// The parts of orvalen --help that differ by system (posix/, win32/): which device each COM
// name opens, and the environment and permissions that matter there.

// "Ports (searched in this order):" and its lines, ending in a blank line.
QString PortsHelp();
// "Environment:" and what follows it, to the end of the help.
QString EnvironmentHelp();
