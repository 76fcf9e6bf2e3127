#include "ui/tformsettings.h"

#include "config/tlinksettingsfile.h"
#include "ui/tioform.h"

#include <QDebug>
#include <QSettings>

QString TFormSettings::path()
{
    return QString::fromLatin1(TIoForm::settingsPath);
}

bool TFormSettings::load(TIoForm &form)
{
    QSettings settings(path(), QSettings::IniFormat);
    TLinkSettings values = form.values();
    const bool stored = TLinkSettingsFile::read(settings, form.getName(), values);
    if (stored)
        form.apply(values);
    // The form starts with its defaults all the same; say why.
    if (settings.status() == QSettings::AccessError)
        qDebug() << "settings file" << settings.fileName() << "not read, defaults used for"
                 << form.getName();
    return stored;
}

void TFormSettings::save(const TIoForm &form)
{
    QSettings settings(path(), QSettings::IniFormat);
    TLinkSettingsFile::write(settings, form.getName(), form.values());
    // The link opens whether or not this worked, but the operator's values
    // will be missing at the next start: say so.
    settings.sync();
    if (settings.status() == QSettings::AccessError)
        qDebug() << "settings file" << settings.fileName() << "not saved, settings of"
                 << form.getName() << "lost at exit";
    else if (settings.status() == QSettings::FormatError)
        qDebug() << "settings file" << settings.fileName() << "holds lines that are not settings";
}
