#pragma once

#include <QFont>
#include <QLabel>

// A label with the kit font and white text.
class TLabel : public QLabel
{
    Q_OBJECT
public:
    explicit TLabel(QWidget *parent = nullptr);
    explicit TLabel(const QString &text, QWidget *parent = nullptr,
                    Qt::WindowFlags f = Qt::WindowFlags());

    // Sets the point size of the label's own font and applies that font.
    void setPointSize(int size);

private:
    QFont ownFont;
};
