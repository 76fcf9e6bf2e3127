#include "ui/trecordbutton.h"

#include "msg/tmsgmanager.h"
#include "session/trelaysession.h"
#include "ui/kit/tpushbutton.h"
#include "ui/kit/tuidefine.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QSpinBox>
#include <QTimer>

TRecordButton::TRecordButton(TRelaySession &session, QWidget *parent)
    : QWidget(parent), session(session)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    recordBtn = new TPushButton(tr("Record"));
    size = new QLabel;
    size->setFont(TUiDefine::instance()->widgetFont);
    size->setPalette(TUiDefine::instance()->labelPalette);
    limit = new QSpinBox;
    limit->setRange(0, 1024 * 1024);
    limit->setSuffix(QStringLiteral(" MB"));
    limit->setSpecialValueText(tr("no limit"));
    limit->setToolTip(tr("Recording stops when the file reaches this size"));
    layout->addWidget(recordBtn);
    layout->addWidget(limit);
    layout->addWidget(size);
    // Beside the four buttons, not in their room.
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
    sizeTimer = new QTimer(this);
    connect(sizeTimer, &QTimer::timeout, this, &TRecordButton::showSize);
    connect(recordBtn, &QPushButton::released, this, &TRecordButton::onPressed);
    connect(&session, &TRelaySession::recordingStopped, this, [this](const QString &reason) {
        stop();
        emit TMsgManager::instance()->showMsg(-1, BoxMsg, Warn,
                                              tr("Recording stopped: %1").arg(reason));
    });
}

TRecordButton::~TRecordButton()
{
    stop();
}

QString TRecordButton::defaultPath()
{
    return QStringLiteral("captures/relay-%1.pcapng")
        .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
}

void TRecordButton::onPressed()
{
    if (!path.isEmpty()) {
        stop();
        return;
    }
    QDir().mkpath(QStringLiteral("captures"));
    const QString chosen =
        QFileDialog::getSaveFileName(this, tr("Record"), defaultPath(), tr("Captures (*.pcapng)"),
                                     nullptr, QFileDialog::DontUseNativeDialog);
    if (!chosen.isEmpty())
        recordTo(chosen);
}

bool TRecordButton::recordTo(const QString &file)
{
    QString error;
    if (!session.startRecording(file, qint64(limit->value()) * 1024 * 1024, error)) {
        emit TMsgManager::instance()->showMsg(-1, BoxMsg, Error, error);
        return false;
    }
    path = file;
    recordBtn->setText(tr("Stop"));
    limit->setEnabled(false);
    recordBtn->setToolTip(tr("Recording to %1").arg(QDir::toNativeSeparators(file)));
    showSize();
    sizeTimer->start(500);
    return true;
}

void TRecordButton::stop()
{
    if (path.isEmpty())
        return;
    session.stopRecording();
    sizeTimer->stop();
    path.clear();
    size->clear();
    recordBtn->setText(tr("Record"));
    recordBtn->setToolTip(QString());
    limit->setEnabled(true);
}

void TRecordButton::showSize()
{
    const qint64 bytes = QFileInfo(path).size();
    QString text = QStringLiteral("\u25cf ") + QLocale().formattedDataSize(bytes);
    if (const quint64 dropped = session.recordingDropped())
        text += tr(", %1 not kept").arg(QLocale().toString(qulonglong(dropped)));
    size->setText(text);
}
