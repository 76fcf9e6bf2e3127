#pragma once

#include <QLabel>

// A one-line label that shows as much of its text as its width allows,
// cut with "…" where `mode` says. Its least width is that of `sample`, so a column of them lines up
// and a long text never widens the window.
class TElidedLabel : public QLabel
{
    Q_OBJECT
public:
    TElidedLabel(const QString &sample, Qt::TextElideMode mode, QWidget *parent = nullptr);

    void setFullText(const QString &text);
    QString fullText() const { return full; }

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void elide();

    QString full;
    int leastWidth;
    Qt::TextElideMode mode;
};
