#pragma once

#include "config/trunoptions.h"
#include "link/tlinkcounters.h"

#include <QObject>
#include <QVector>

class QTimer;
class TLinkLines;
class TRelaySession;
class TSwarmFile;

// The relay without a window: the links of the settings file, built as the
// window builds them and all opened at start, reporting on the console
// until SIGINT or SIGTERM.
class THeadlessRelay : public QObject
{
    Q_OBJECT
public:
    // Runs inside a core application until asked to stop; the exit status.
    static int run(const TRunOptions &options);

private:
    THeadlessRelay(const TRunOptions &options, TRelaySession &session);
    // False, with the reason, for a --config path no settings file can be
    // read from; an empty path is the default, always usable.
    static bool usableConfig(const QString &path, QString &problem);
    // False when the relay must not run: its radio file does not read.
    bool start(const TSwarmFile &file, TLinkLines &lines);
    void stop();
    void printStats();
    QString statsLine(int id, const QString &state, const TLinkCounters::Snapshot &counts) const;
    void writePairStats();
    // False when there is none or it could not be started.
    bool startCapture();
    void reopenCapture();
    // Which file a path names now: a rotation moves the file away.
    struct FileId
    {
        quint64 device = 0;
        quint64 inode = 0;
        bool operator==(const FileId &o) const { return device == o.device && inode == o.inode; }
    };
    static FileId fileId(const QString &path);

    const TRunOptions options;
    TRelaySession &session;
    QTimer *statsTimer = nullptr;
    FileId captureFile;
};
