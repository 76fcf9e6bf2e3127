#pragma once

#include "config/tlinksettings.h"
#include "config/tsettingsproblem.h"

#include <QPair>
#include <QString>
#include <QVector>

class TIoForm;

// One port form's group of the settings file: what the form shows is
// written on every Connect and read back when a form of the same name is
// built. Each access opens the file anew; nothing is cached.
class TFormSettings
{
public:
    // What a row of group `group` starts with: the group as stored, with
    // what no link may be opened on; without one, the row `above` (when
    // given) followed by the file's port step, else the defaults. One read
    // of the file.
    struct Start
    {
        TLinkSettings values = TLinkSettings::defaults();
        TSettingsProblems refused;
    };
    static Start read(const QString &group, const TLinkSettings *above);
    // The same, applied to a form.
    static void load(TIoForm &form, const TIoForm *above);
    static void save(const QString &group, const TLinkSettings &values);
    // Several groups in one write of the file.
    static void save(const QVector<QPair<QString, TLinkSettings>> &groups);
    static void save(const TIoForm &form);
    // The settings file: ./cfg/app.ini, relative to the working directory,
    // unless the command line named another.
    static QString path();
    static void setPath(const QString &path);
};
