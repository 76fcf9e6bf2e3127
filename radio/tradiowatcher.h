#pragma once

#include "radio/tradiofile.h"

#include <QObject>
#include <QString>
#include <QVector>

#include <memory>

class QFileSystemWatcher;
class QTimer;
class TRadio;
class TRadioRules;

// A radio file put in force and kept there: read, its rules installed in the
// radio, its schedule run from the moment it was read, and read again
// whenever it changes on disk. A file that does not read leaves the rules in
// force as they were and says why.
class TRadioWatcher : public QObject
{
    Q_OBJECT
public:
    // The radio stays as the last file left it when the watcher goes.
    TRadioWatcher(TRadio &radio, QObject *parent = nullptr);

    // False with the error ("radio.json: links[1].profile = ...").
    bool load(const QString &path, QString &error);
    // One rule in force from now on, in place of the same pair's, beside the
    // file's others, default and schedule (without a file: beside none);
    // `seed` >= 0 replaces the seed. Until the file is read again.
    void setRule(const TRadioFile::Rule &rule, qint64 seed = -1);
    QString path() const { return filePath; }
    // What a change of the file, or a schedule entry, is applied within.
    static constexpr int settleMs = 200;

signals:
    // A file read and in force; its link names, to be checked.
    void applied(const QString &path, const QStringList &names);
    // A change of the file that was not put in force.
    void refused(const QString &error);

private:
    enum class Reread
    {
        Always,
        WhenChanged
    };
    bool read(QString &error, Reread when);
    void onChanged();
    void install();
    void runSchedule();
    void putRule(const TRadioFile::Rule &rule);

    TRadio &radio;
    QString filePath;
    QFileSystemWatcher *watcher = nullptr;
    QTimer *settle = nullptr;
    QTimer *scheduleTimer = nullptr;
    TRadioFile file;
    QByteArray bytes;                // as last read
    QVector<TRadioFile::Rule> rules; // as the schedule has changed them
    int nextChange = 0;
    qint64 loadedAtMs = 0;
    quint32 generation = 0;
    std::shared_ptr<const TRadioRules> inForce;
};
