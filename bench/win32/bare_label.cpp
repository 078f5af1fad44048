// The smallest Qt Widgets window, built with the same Qt as orvalen.exe: the yardstick for the
// program's start-up under Wine (start to a visible window, as a ratio to this one).
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("Orvalen"));
    label.setWindowTitle(QStringLiteral("Orvalen bare label"));
    label.show();
    return app.exec();
}
