#include "ui/tformsettings.h"

#include "config/tlinksettingsfile.h"
#include "config/tsettingscheck.h"
#include "config/tswarmfile.h"
#include "ui/tioform.h"

#include <QDebug>
#include <QSettings>

namespace {
QString &chosenPath()
{
    static QString path = QString::fromLatin1(TSwarmFile::defaultPath);
    return path;
}
} // namespace

QString TFormSettings::path()
{
    return chosenPath();
}

void TFormSettings::setPath(const QString &path)
{
    chosenPath() = path;
}

void TFormSettings::load(TIoForm &form, const TIoForm *above)
{
    QSettings settings(path(), QSettings::IniFormat);
    TLinkSettings values = form.values();
    TSettingsProblems problems;
    const bool stored = TLinkSettingsFile::read(settings, form.getName(), values, &problems);
    if (stored) {
        // What the controls cannot show is kept beside them.
        form.keepRefused(problems + TSettingsCheck::check(form.getName(), values));
        form.apply(values);
    } else if (above) {
        form.followRow(*above, TSwarmFile::portStride(settings));
    }
    // The form starts with its defaults all the same; say why.
    if (settings.status() == QSettings::AccessError)
        qDebug() << "settings file" << settings.fileName() << "not read, defaults used for"
                 << form.getName();
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
