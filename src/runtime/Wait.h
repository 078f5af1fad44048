#pragma once

#include "DateTime.h"

#include <functional>

// Lets the message loop run until `done` returns true or the program's clock reaches `deadline`,
// whichever comes first, and returns whether `done` was met. Between tests it sleeps in the event
// loop until the next message or the deadline, so a long wait costs no processor time.
bool WaitUntil(TDateTime deadline, const std::function<bool()>& done = {});
