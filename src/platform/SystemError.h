#pragma once

#include <string>

// The system's text for an errno value in English, whatever the user's locale: for the English
// lines on standard error, which must not carry a translated text inside. Plain POSIX.
std::string UntranslatedError(int error);
