#pragma once

#include <QString>

// The printer `find` found last: its port ("COM3" or a device path) and serial number, kept in
// the user's config folder (~/.config/orvalen/orvalenctl.ini).
//
// The file is only ever opened when it is a regular file (a FIFO there would stop a job for
// ever, a link to a device node must not be read or written), and without waiting. A file that
// is there but holds no valid port and serial number is damaged, not empty: the serial number is
// what keeps a Z report from going to another printer.
class RememberedPrinter
{
public:
    QString Port;
    QString Serial;

    bool IsKnown() const { return !Port.isEmpty() && !Serial.isEmpty(); }

    static QString FileName();
    // The printer remembered; nothing when there is no file. `problem` names the file and says
    // what is wrong with one that cannot be read or is damaged (nothing is remembered then).
    static RememberedPrinter Load(QString& problem);
    static RememberedPrinter Load()
    {
        QString ignored;
        return Load(ignored);
    }
    // Keeps the printer, in place of a damaged file too, but never through a link to anything
    // other than a regular file. On failure `error` names the file and says why.
    bool Save(QString& error) const;
};
