#pragma once

#include <QPointer>
#include <QScrollArea>

class QVBoxLayout;

// The vehicle rows, scrolled when they do not fit. It asks for the height
// of all its rows, so the window grows with them until the screen is full,
// and never for less width than its widest row needs.
class TRowList : public QScrollArea
{
    Q_OBJECT
public:
    explicit TRowList(QWidget *parent = nullptr);

    QVBoxLayout *rowLayout() const { return rows; }
    // Brings a row into view once the list has laid it out.
    void showRow(QWidget *row);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QSize chrome() const;
    void bringPendingIntoView();

    QVBoxLayout *rows = nullptr;
    // The row last asked for, until it has been in view once.
    QPointer<QWidget> pending;
};
