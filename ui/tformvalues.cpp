#include "ui/tformvalues.h"

#include <QComboBox>

quint16 TFormValues::portFromText(const QString &text)
{
    return static_cast<quint16>(text.toInt(nullptr, 10));
}

qint32 TFormValues::chosen(const QComboBox *box, qint32 none)
{
    const QVariant value = box->currentData();
    return value.isValid() ? value.toInt() : none;
}
