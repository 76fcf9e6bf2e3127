#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

class QComboBox;
class QFont;
class QHBoxLayout;
class TLabel;

// A caption label and a combo box in one row, with the kit's combo-box style
// sheet. An empty caption gives a composite without a visible label.
class TLabelCombox : public QWidget
{
    Q_OBJECT
public:
    explicit TLabelCombox(const QString &text, QWidget *parent = nullptr);

    void addItem(const QString &text);
    void addItems(const QStringList &texts);
    QString currentText() const;

    QComboBox *comboBox() const { return innerCombo; }
    TLabel *label() const { return captionLabel; }

    void setWidgetsFont(const QFont &font);

    // The style sheet set on every TLabelCombox (474 characters).
    static const char *const styleSheetText;

private:
    QHBoxLayout *boxLayout = nullptr;
    TLabel *captionLabel = nullptr;
    QComboBox *innerCombo = nullptr;
};
