#pragma once

#include <QWidget>

// A window that stays above other windows and paints a dark (#222222)
// background behind its children.
class TWidget : public QWidget
{
    Q_OBJECT
public:
    explicit TWidget(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
