#include "msg/tburstbox.h"

#include <QStringList>

TBurstBox::Look TBurstBox::lookOf(MsgLevel level)
{
    switch (level) {
    case Debug:
        return {"DEBUG", QMessageBox::Information};
    case Info:
        return {"INFO ", QMessageBox::Information};
    case Warn:
        return {"WARN ", QMessageBox::Warning};
    case Error:
        return {"ERROR", QMessageBox::Critical};
    case Fatal:
        return {"FATAL", QMessageBox::Critical};
    }
    return {"INFO", QMessageBox::Information};
}

TBurstBox::TBurstBox(int timeoutMs)
    : QMessageBox(QMessageBox::NoIcon, QString(), QString(), QMessageBox::Close, nullptr,
                  Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
{
    // The operator goes on working in the window while the box is up, and a
    // box still up does not keep the program from ending with its window.
    // The modality first: setting it resets the window flags.
    setWindowModality(Qt::NonModal);
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setAttribute(Qt::WA_QuitOnClose, false);
    // Link texts carry addresses and device names, never markup.
    setTextFormat(Qt::PlainText);
    closeTimer.setSingleShot(true);
    closeTimer.setInterval(timeoutMs);
    connect(&closeTimer, &QTimer::timeout, this, &QDialog::accept);
    gapTimer.setSingleShot(true);
    connect(&gapTimer, &QTimer::timeout, this, [this] {
        state = Over;
        emit burstOver();
    });
    connect(this, &QDialog::finished, this, &TBurstBox::onFinished);
}

void TBurstBox::add(int id, MsgLevel level, const QString &text)
{
    lines.insert(id, {level, text});
    QStringList texts;
    MsgLevel top = level;
    for (const Line &line : qAsConst(lines)) {
        texts << line.text;
        top = qMax(top, line.level);
    }
    const Look look = lookOf(top);
    setWindowTitle(QLatin1String(look.title));
    setIcon(look.icon);
    setText(texts.join(QLatin1Char('\n')));

    state = Showing;
    gapTimer.stop();
    sinceLastLine.start();
    closeTimer.start();
    show();
}

void TBurstBox::onFinished()
{
    state = Lingering;
    closeTimer.stop();
    gapTimer.start(int(qMax<qint64>(0, burstGapMs - sinceLastLine.elapsed())));
}
