#include "ui/kit/tlabel.h"

#include "ui/kit/tuidefine.h"

TLabel::TLabel(QWidget *parent) : QLabel(parent)
{
    const TUiDefine *ui = TUiDefine::instance();
    ownFont = ui->labelFont;
    setFont(ownFont);
    setPalette(ui->labelPalette);
    setAttribute(Qt::WA_DeleteOnClose, false);
}

TLabel::TLabel(const QString &text, QWidget *parent, Qt::WindowFlags f) : QLabel(text, parent, f)
{
    const TUiDefine *ui = TUiDefine::instance();
    setFont(ui->labelFont);
    setPalette(ui->labelPalette);
    setAttribute(Qt::WA_DeleteOnClose, false);
}

void TLabel::setPointSize(int size)
{
    ownFont.setPointSize(size);
    setFont(ownFont);
    update();
}
