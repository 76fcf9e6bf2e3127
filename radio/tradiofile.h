#pragma once

#include "radio/tradioprofile.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// A radio file as written: the seed, the default, the rules for pairs of
// links and the changes of the schedule. Link names are those of the
// headless lines ("gcs", "uav1", ...); "*" is any link.
//
//   {"seed": 7, "default": "delay 20ms 5ms loss 1%",
//    "links": [{"from": "uav1", "to": "uav2", "profile": "down"}],
//    "schedule": [{"at": "30s", "from": "uav3", "to": "*", "profile": "down"}]}
struct TRadioFile
{
    struct Rule
    {
        QString from;
        QString to;
        QString profileText;
        TRadioProfile profile;
    };
    struct Change
    {
        qint64 atMs = 0; // after the file was loaded
        Rule rule;
    };

    quint64 seed = 0;
    QString defaultText; // empty: no default, a pair without a rule is clean
    TRadioProfile defaultProfile;
    QVector<Rule> rules;
    QVector<Change> schedule; // in the order of their times

    // The link id a rule's name stands for; anyLink for "*".
    static constexpr int anyLink = -1;
    static constexpr int noLink = -2;
    static int linkId(const QString &name);

    // Empty error when the text is a whole radio file; else the line or
    // the field and the value that are wrong.
    static TRadioFile parse(const QByteArray &text, QString &error);
    // The link names the file's rules and schedule use, "*" left out.
    QStringList names() const;
};
