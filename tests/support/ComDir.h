#pragma once

// Points ORVALEN_COM_DIR at a fresh folder for the life of the object; comN entries are links.

#include <QByteArray>
#include <QTemporaryDir>

#include <cstdlib>
#include <unistd.h>

class ComDir
{
public:
    ComDir() { qputenv("ORVALEN_COM_DIR", dir_.path().toLocal8Bit()); }
    ~ComDir() { qunsetenv("ORVALEN_COM_DIR"); }
    ComDir(const ComDir&) = delete;
    ComDir& operator=(const ComDir&) = delete;

    QByteArray PathOf(int n) const
    {
        return dir_.path().toLocal8Bit() + "/com" + QByteArray::number(n);
    }
    void Link(int n, const QByteArray& target) const
    {
        unlink(PathOf(n).constData());
        if (symlink(target.constData(), PathOf(n).constData()) != 0)
            std::abort();
    }

private:
    QTemporaryDir dir_;
};
