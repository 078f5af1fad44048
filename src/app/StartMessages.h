#pragma once

#include <QApplication>
#include <QList>
#include <QString>

#include <memory>
#include <utility>

// What Qt said while QApplication was starting, in order.
using HeldMessages = QList<std::pair<QtMsgType, QString>>;

// Writes to stderr why the window could not be opened, from Qt's fatal message and what it said
// before it. Each system's start knows what to advise.
using FailedStartExplainer = void (*)(const QString& fatalMessage, const HeldMessages& held);

// Creates the QApplication with Qt's messages held back: when the platform plugin fails, Qt
// warns and then calls qFatal, which aborts. `explain` is called instead, and the program ends
// with status 1. When the start succeeds the held messages go out as usual.
std::unique_ptr<QApplication> StartHoldingMessages(int& argc, char** argv,
                                                   FailedStartExplainer explain);

// The held messages and the fatal message's first line, indented, one a line, on stderr.
void PrintHeldMessages(const QString& fatalMessage, const HeldMessages& held);
