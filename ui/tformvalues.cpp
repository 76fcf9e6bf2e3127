#include "ui/tformvalues.h"

#include <QSerialPort>

// A port text as the 16-bit field takes it: decimal, 0 when it is not a
// number, truncated to the low 16 bits.
quint16 TFormValues::portFromText(const QString &text)
{
    return static_cast<quint16>(text.toInt(nullptr, 10));
}

qint32 TFormValues::dataBitsFromText(const QString &text)
{
    static const int table[3][2] = {
        {5, QSerialPort::Data5}, {6, QSerialPort::Data6}, {7, QSerialPort::Data7}};
    const int value = text.toInt(nullptr, 10);
    for (const auto &entry : table)
        if (entry[0] == value)
            return entry[1];
    return QSerialPort::Data8;
}

qint32 TFormValues::stopBitsFromIndex(int index)
{
    switch (index) {
    case 1:
        return QSerialPort::OneAndHalfStop;
    case 2:
        return QSerialPort::TwoStop;
    default:
        return QSerialPort::OneStop;
    }
}

qint32 TFormValues::parityFromIndex(int index)
{
    static const qint32 table[4] = {QSerialPort::EvenParity, QSerialPort::OddParity,
                                    QSerialPort::SpaceParity, QSerialPort::MarkParity};
    if (index >= 1 && index <= 4)
        return table[index - 1];
    return QSerialPort::NoParity;
}
