#include "ui/tradiobutton.h"

#include "msg/tmsgmanager.h"
#include "session/trelaysession.h"
#include "ui/kit/tpushbutton.h"
#include "ui/tformsettings.h"

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QSettings>

namespace {
const QString kKey = QStringLiteral("Radio/File");
} // namespace

TRadioButton::TRadioButton(TRelaySession &session, QWidget *parent)
    : QWidget(parent), session(session)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    radioBtn = new TPushButton(tr("Radio…"));
    radioBtn->setToolTip(tr("Put an emulated radio between the links: delay, loss, rate, "
                            "blackouts per pair"));
    layout->addWidget(radioBtn);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
    connect(radioBtn, &QPushButton::released, this, &TRadioButton::onPressed);
    const QString stored = storedFile();
    if (!stored.isEmpty())
        load(stored);
}

QString TRadioButton::storedFile()
{
    return QSettings(TFormSettings::path(), QSettings::IniFormat).value(kKey).toString();
}

void TRadioButton::store(const QString &path)
{
    QSettings settings(TFormSettings::path(), QSettings::IniFormat);
    if (path.isEmpty())
        settings.remove(kKey);
    else
        settings.setValue(kKey, path);
}

void TRadioButton::onPressed()
{
    if (!session.radioFile().isEmpty()) {
        unload();
        return;
    }
    const QString chosen =
        QFileDialog::getOpenFileName(this, tr("Radio"), QString(), tr("Radio files (*.json)"),
                                     nullptr, QFileDialog::DontUseNativeDialog);
    if (!chosen.isEmpty())
        load(chosen);
}

bool TRadioButton::load(const QString &path)
{
    QString error;
    if (!session.loadRadio(path, error)) {
        emit TMsgManager::instance()->showMsg(-1, BoxMsg, Error,
                                              tr("Radio not loaded: %1").arg(error));
        return false;
    }
    store(path);
    // The file's name would widen the row of buttons past a laptop's
    // screen; it is in the tooltip.
    radioBtn->setText(tr("Radio on"));
    radioBtn->setToolTip(tr("Radio from %1, followed as it changes; press to turn it off")
                             .arg(QDir::toNativeSeparators(path)));
    return true;
}

void TRadioButton::unload()
{
    session.unloadRadio();
    store(QString());
    radioBtn->setText(tr("Radio…"));
    radioBtn->setToolTip(QString());
}
