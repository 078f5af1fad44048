#pragma once

#include "runtime/DateTime.h"

#include <functional>

// Lets the message loop run until `done` returns true or the program's clock reaches `deadline`,
// whichever comes first, and returns whether `done` was met. Between tests it sleeps in the event
// loop until the next message or the deadline, so a long wait costs no processor time.
//
// The length of the wait (deadline minus now) is taken at the start and measured on the steady
// clock: setting the computer's clock, or a daylight-saving change, during the wait neither
// stretches nor cuts it.
bool WaitUntil(TDateTime deadline, const std::function<bool()>& done = {});
