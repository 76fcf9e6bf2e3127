#pragma once

class QLineEdit;
class QPushButton;
class QString;

// What a field of a port form accepts and how wide it must be to show the
// longest value it takes. Widths follow the field's own font, so a larger
// font or another platform style never cuts a value off.
class TFieldRules
{
public:
    // IPv4 dotted quads only; wide enough for "255.255.255.255".
    static void makeAddressField(QLineEdit *edit);
    // 1..65535 only; wide enough for "65535".
    static void makePortField(QLineEdit *edit);
    // Never narrower than its own text.
    static void fitButtonToText(QPushButton *button);
    // The width a line edit needs to show `sample` whole.
    static int widthFor(const QLineEdit *edit, const QString &sample);
};
