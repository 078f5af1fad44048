#pragma once

#include "ctl/Console.h"

class PortSurvey;

// `ports`: COM1..COM20 and the USB printer nodes, described without opening anything.
ExitStatus RunPorts(const PortSurvey& survey, bool json, const Console& console);
