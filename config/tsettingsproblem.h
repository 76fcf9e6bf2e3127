#pragma once

#include <QString>
#include <QVector>

// A stored value the relay will not use, and what it would take instead:
// "cfg/app.ini [Con3] LocalPort=70001: a port is 1 to 65535".
struct TSettingsProblem
{
    QString group;
    QString key;
    QString value;
    QString allowed;

    QString line(const QString &file) const;
    // The path as people read it: "./cfg/app.ini" is "cfg/app.ini".
    static QString fileName(const QString &path);
};

using TSettingsProblems = QVector<TSettingsProblem>;
