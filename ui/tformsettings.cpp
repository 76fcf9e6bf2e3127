#include "ui/tformsettings.h"

#include "config/tlinksettingsfile.h"
#include "config/tsettingscheck.h"
#include "config/tswarmfile.h"
#include "link/tserialports.h"
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

TFormSettings::Start TFormSettings::read(const QString &group, const TLinkSettings *above)
{
    QSettings settings(path(), QSettings::IniFormat);
    Start start;
    TSettingsProblems problems;
    if (TLinkSettingsFile::read(settings, group, start.values, &problems))
        start.refused = problems + TSettingsCheck::check(group, start.values);
    else if (above)
        start.values = above->following(TSerialPorts::entries(), TSwarmFile::portStride(settings));
    // The row starts with its defaults all the same; say why.
    if (settings.status() == QSettings::AccessError)
        qDebug() << "settings file" << settings.fileName() << "not read, defaults used for"
                 << group;
    return start;
}

void TFormSettings::load(TIoForm &form, const TIoForm *above)
{
    const TLinkSettings aboveValues = above ? above->values() : TLinkSettings();
    const Start start = read(form.getName(), above ? &aboveValues : nullptr);
    // What the controls cannot show is kept beside them.
    form.keepRefused(start.refused);
    form.apply(start.values);
}

void TFormSettings::save(const TIoForm &form)
{
    save(form.getName(), form.values());
}

void TFormSettings::save(const QString &group, const TLinkSettings &values)
{
    save({{group, values}});
}

void TFormSettings::save(const QVector<QPair<QString, TLinkSettings>> &groups)
{
    if (groups.isEmpty())
        return;
    QSettings settings(path(), QSettings::IniFormat);
    for (const auto &group : groups)
        TLinkSettingsFile::write(settings, group.first, group.second);
    // The link opens whether or not this worked, but the operator's values
    // will be missing at the next start: say so.
    settings.sync();
    if (settings.status() == QSettings::AccessError) {
        QStringList names;
        for (const auto &group : groups)
            names.append(group.first);
        qDebug() << "settings file" << settings.fileName() << "not saved, settings of"
                 << names.join(QLatin1Char(' ')) << "lost at exit";
    }
    else if (settings.status() == QSettings::FormatError)
        qDebug() << "settings file" << settings.fileName() << "holds lines that are not settings";
}
