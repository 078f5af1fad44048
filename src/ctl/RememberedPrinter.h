#pragma once

#include <QString>

// The printer `find` found last: its port ("COM3" or a device path) and serial number, kept in
// the user's config folder (~/.config/orvalen/orvalenctl.ini).
class RememberedPrinter
{
public:
    QString Port;
    QString Serial;

    bool IsKnown() const { return !Port.isEmpty() && !Serial.isEmpty(); }

    static RememberedPrinter Load();
    // Keeps the printer; on failure `error` names the file that could not be written.
    bool Save(QString& error) const;
};
