#pragma once

#include <string>
#include <string_view>

// STX seq payload ETX and the four (or five) upper-case hex check digits, built independently of
// the program's and the simulator's own code.
std::string Frame(char seq, std::string_view payload);
