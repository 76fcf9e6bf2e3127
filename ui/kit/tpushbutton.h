#pragma once

#include <QIcon>
#include <QPushButton>
#include <QString>

// A push button with the kit font, 40 pixels high, 100 to 200 pixels wide,
// and the kit's button style sheet.
class TPushButton : public QPushButton
{
    Q_OBJECT
public:
    explicit TPushButton(QWidget *parent = nullptr);
    explicit TPushButton(const QString &text, QWidget *parent = nullptr);
    TPushButton(const QIcon &icon, const QString &text, QWidget *parent = nullptr);

    // The style sheet set on every TPushButton (422 characters).
    static const char *const styleSheetText;

private:
    void initStyle();
};
