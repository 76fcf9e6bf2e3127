#pragma once

#include <QString>

// How a port form's texts and choices become the numbers of an endpoint
// record: ports as the 16-bit field takes them, and the serial line as
// QSerialPort's enumerations.
class TFormValues
{
public:
    // Decimal, 0 when the text is not a number, cut to the low 16 bits.
    static quint16 portFromText(const QString &text);
    // "5", "6", "7" as themselves; anything else 8.
    static qint32 dataBitsFromText(const QString &text);
    // The index of "1", "1.5", "2".
    static qint32 stopBitsFromIndex(int index);
    // The index of "NONE", "EVEN", "ODD", "SPACE", "MARK".
    static qint32 parityFromIndex(int index);
};
