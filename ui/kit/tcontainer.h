#pragma once

#include <QWidget>

// A widget that paints a dark (#222222) rounded rectangle, radius 10 and no
// outline, over its whole area.
class TContainer : public QWidget
{
    Q_OBJECT
public:
    explicit TContainer(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
