#include "support/QtTestMain.h"

ORVALEN_QT_TEST_MAIN
