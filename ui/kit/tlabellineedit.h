#pragma once

#include <QString>
#include <QWidget>

class QFont;
class QHBoxLayout;
class QLabel;
class QLineEdit;

// A caption label, a line edit and an optional unit label in one row. The
// line edit carries the kit's line-edit style sheet.
class TLabelLineEdit : public QWidget
{
    Q_OBJECT
public:
    // A null unit gives no unit label; an empty, non-null one an empty label.
    TLabelLineEdit(const QString &text, const QString &unit, QWidget *parent = nullptr);

    void setEditHeight(int height);
    void setText(const QString &text);
    QString text() const;
    // Enables or disables the line edit only; the labels keep their state.
    void setEditEnabled(bool enabled);
    void setWidgetsFont(const QFont &font);

    QLineEdit *lineEdit() const { return innerEdit; }
    QLabel *label() const { return captionLabel; }
    // Null when the composite was built with a null unit text.
    QLabel *unit() const { return unitLabel; }

    // The style sheet set on the inner line edit (272 characters).
    static const char *const styleSheetText;

private:
    QHBoxLayout *boxLayout = nullptr;
    QLabel *captionLabel = nullptr;
    QLineEdit *innerEdit = nullptr;
    QLabel *unitLabel = nullptr;
};
