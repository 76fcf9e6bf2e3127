#pragma once

#include "config/tlinksettings.h"
#include "link/tlinkcounters.h"
#include "monitor/tlinkmonitor.h"
#include "monitor/tlinkstates.h"
#include "radio/tradiofile.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QVector>

#include <memory>

class TRadioWatcher;

// One relay as both views know it: the ground station and the vehicles in
// list order, where each link stands, its figures with their resets, and
// opening and closing. The window and the relay without a window each hold
// one and show it their own way; neither keeps a list of links of its own.
class TRelaySession : public QObject
{
    Q_OBJECT
public:
    explicit TRelaySession(QObject *parent = nullptr);
    ~TRelaySession() override;

    // The ground-station link and `vehicles` vehicle links, none open.
    void build(int vehicles);
    void addGroundStation(const TLinkSettings &values = TLinkSettings::defaults());
    // The link id of the vehicle made at the end of the list, on `values`
    // until they are set again.
    int addVehicle(const TLinkSettings &values = TLinkSettings::defaults());
    // The last vehicle goes, with its figures: a vehicle added later under
    // the same id starts from zero. False when there is none.
    bool removeLastVehicle();
    int vehicleCount() const { return vehicles; }
    // The ground station first, then the vehicles in list order.
    QVector<int> linkIds() const;

    // The settings a link opens on: as it was made, set, or last opened.
    TLinkSettings settings(int id) const { return linkSettings.value(id); }
    void setSettings(int id, const TLinkSettings &values);

    // Asks the link to open on `values`, or to close what it opened on
    // them; its state follows its events. The values become its settings.
    void open(int id, const TLinkSettings &values) { request(id, values, true); }
    void close(int id, const TLinkSettings &values) { request(id, values, false); }
    void open(int id) { request(id, settings(id), true); }
    void close(int id) { request(id, settings(id), false); }

    // Never asked to open: its settings were refused for `reason`.
    void refuse(int id, const QString &reason) { linkStates.refused(id, reason); }
    const TLinkStates &states() const { return linkStates; }
    // What a view shows of a link now; `nowMs` on a steady clock. False
    // when there is no such link.
    bool sample(int id, qint64 nowMs, TLinkMonitor::Sample &sample);
    // The link's own figures, since it was made.
    TLinkCounters::Snapshot counters(int id) const;
    // Its figures since the last reset, as scripts read them.
    TLinkCounters::Snapshot figures(int id);
    void resetCounters(int id) { monitor.reset(id); }
    void resetAllCounters();

    // The relay's one recording: every block any link passes, from now on,
    // into `path` (size limit in bytes, 0 for none). False with the reason;
    // a recording before ends first.
    bool startRecording(const QString &path, qint64 sizeLimit, QString &error);
    // Writes what is queued and closes the file; nothing when none runs.
    void stopRecording();
    bool recording() const;
    // Blocks the current or last recording could not keep.
    quint64 recordingDropped() const;

    // The emulated radio of `path` in force between the links from now on,
    // and whenever the file changes; one loaded before goes first. False
    // with the error, and the radio as it was.
    bool loadRadio(const QString &path, QString &error);
    // Every pair clean again.
    void unloadRadio();
    // One rule in force in place of the same pair's, the loaded file's
    // others, default and schedule kept (no file: a radio of set rules
    // alone, seed 0 unless `seed` >= 0), until the file is read again.
    void setRadioRule(const TRadioFile::Rule &rule, qint64 seed = -1);
    // The radio file in force, empty for none.
    QString radioFile() const;
    // Who heard whom: a CSV line for every pair that carried anything.
    QString radioPairs() const;

    // Closes every link and joins its thread, and ends the recording.
    void shutdown();

signals:
    // The recording ended by itself (its size limit, a full disk); it has
    // been stopped by the time this arrives.
    void recordingStopped(const QString &reason);
    // Whoever made or removed it, so that every view follows.
    void vehicleAdded(int id);
    void vehicleRemoved(int id);
    void settingsChanged(int id);

private:
    void request(int id, const TLinkSettings &values, bool open);
    // Names of links the relay does not have are said, once each.
    void checkRadioNames(const QString &path, const QStringList &names);
    std::unique_ptr<TRadioWatcher> newRadioWatcher();

    TLinkStates linkStates;
    TLinkMonitor monitor{linkStates};
    QHash<int, TLinkSettings> linkSettings;
    int vehicles = 0;
    bool hasGroundStation = false;
    std::unique_ptr<TRadioWatcher> radio;
    QSet<QString> radioNamesTold;
};
