#pragma once

// A gtest main that first creates the QApplication every widget and timer test needs.
#include <QApplication>
#include <gtest/gtest.h>

#define ORVALEN_QT_TEST_MAIN                                                                       \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        QApplication app(argc, argv);                                                              \
        ::testing::InitGoogleTest(&argc, argv);                                                    \
        return RUN_ALL_TESTS();                                                                    \
    }
