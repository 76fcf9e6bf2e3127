#include "radio/tradiowatcher.h"

#include "radio/tradio.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

namespace {
qint64 steadyMs()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
}
} // namespace

TRadioWatcher::TRadioWatcher(TRadio &radio, QObject *parent) : QObject(parent), radio(radio)
{
    watcher = new QFileSystemWatcher(this);
    settle = new QTimer(this);
    settle->setSingleShot(true);
    settle->setInterval(settleMs);
    scheduleTimer = new QTimer(this);
    scheduleTimer->setSingleShot(true);
    scheduleTimer->setTimerType(Qt::PreciseTimer);
    // An editor that saves by renaming replaces the file, and the watch
    // with it; the folder's watch sees the new one arrive.
    connect(watcher, &QFileSystemWatcher::fileChanged, settle, qOverload<>(&QTimer::start));
    connect(watcher, &QFileSystemWatcher::directoryChanged, settle, qOverload<>(&QTimer::start));
    connect(settle, &QTimer::timeout, this, &TRadioWatcher::onChanged);
    connect(scheduleTimer, &QTimer::timeout, this, &TRadioWatcher::runSchedule);
}

bool TRadioWatcher::load(const QString &path, QString &error)
{
    filePath = path;
    if (!read(error, Reread::Always))
        return false;
    const QFileInfo info(path);
    watcher->addPath(info.absoluteFilePath());
    watcher->addPath(info.absolutePath());
    return true;
}

bool TRadioWatcher::read(QString &error, Reread when)
{
    QFile in(filePath);
    if (!in.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: %2").arg(filePath, in.errorString());
        return false;
    }
    const QByteArray now = in.readAll();
    if (when == Reread::WhenChanged && now == bytes)
        return true;
    bytes = now;
    QString why;
    TRadioFile fresh = TRadioFile::parse(now, why);
    if (!why.isEmpty()) {
        error = QStringLiteral("%1: %2").arg(filePath, why);
        return false;
    }
    file = fresh;
    rules = file.rules;
    nextChange = 0;
    loadedAtMs = steadyMs();
    install();
    runSchedule();
    emit applied(filePath, file.names());
    return true;
}

void TRadioWatcher::onChanged()
{
    const QFileInfo info(filePath);
    if (!watcher->files().contains(info.absoluteFilePath()) && info.exists())
        watcher->addPath(info.absoluteFilePath());
    // The same bytes again (a touch, the folder changing) change nothing:
    // the schedule would start over.
    QString error;
    if (!info.exists())
        return;
    if (!read(error, Reread::WhenChanged))
        emit refused(error);
}

void TRadioWatcher::install()
{
    const TRadioFile::Rule fallback{QStringLiteral("*"), QStringLiteral("*"), file.defaultText,
                                    file.defaultProfile};
    inForce =
        std::make_shared<TRadioRules>(file.seed, file.defaultText.isEmpty() ? nullptr : &fallback,
                                      rules, ++generation, inForce.get());
    radio.install(inForce);
}

// Applies every change that is due, and waits for the next.
void TRadioWatcher::runSchedule()
{
    const qint64 elapsed = steadyMs() - loadedAtMs;
    bool changed = false;
    while (nextChange < file.schedule.size() && file.schedule[nextChange].atMs <= elapsed) {
        putRule(file.schedule[nextChange++].rule);
        changed = true;
    }
    if (changed)
        install();
    if (nextChange < file.schedule.size())
        scheduleTimer->start(int(file.schedule[nextChange].atMs - elapsed));
}

// Every rule of the pair, as a file may write one twice.
void TRadioWatcher::putRule(const TRadioFile::Rule &rule)
{
    bool replaced = false;
    for (TRadioFile::Rule &r : rules)
        if (r.from == rule.from && r.to == rule.to) {
            r = rule;
            replaced = true;
        }
    if (!replaced)
        rules.append(rule);
}

void TRadioWatcher::setRule(const TRadioFile::Rule &rule, qint64 seed)
{
    if (seed >= 0)
        file.seed = quint64(seed);
    putRule(rule);
    install();
}
