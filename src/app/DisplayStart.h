#pragma once

#include <QApplication>

#include <memory>

// Creates the program's QApplication, or says on stderr why no display can be used and returns
// null (the program then exits with status 1). Qt alone would abort with a terse message both when
// no display is named and when the one named does not answer.
std::unique_ptr<QApplication> StartGuiApplication(int& argc, char** argv);
