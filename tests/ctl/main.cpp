#include "support/CoreTestMain.h"

ORVALEN_CORE_TEST_MAIN
