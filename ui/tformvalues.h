#pragma once

#include <QString>

class QComboBox;

// How a port form's texts and choices become the numbers of an endpoint
// record.
class TFormValues
{
public:
    // Decimal, 0 when the text is not a number, cut to the low 16 bits.
    static quint16 portFromText(const QString &text);
    // The value the current entry carries; `none` without a current entry.
    static qint32 chosen(const QComboBox *box, qint32 none);
};
