// The emulated radio in memory: which rule a pair gets, what the schedule
// and a changed file do to it, and the decisions on blocks (loss shares,
// bursts, seeds, order, the rate queue), without a link or a socket.

#include "radio/tradio.h"
#include "radio/tradiowatcher.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {
constexpr int gcs = 5;
int uav(int n)
{
    return 9 + n;
}

// A rule's profile in a few words, for comparing.
QString describe(const TRadioRules::Rule *rule)
{
    if (!rule || rule->profile.kind == TRadioProfile::Kind::Clean)
        return QStringLiteral("clean");
    const TRadioProfile &p = rule->profile;
    if (p.kind == TRadioProfile::Kind::Down)
        return QStringLiteral("down");
    QStringList words;
    if (p.delayUs)
        words << QStringLiteral("delay %1").arg(p.delayUs);
    if (p.lossShare > 0)
        words << QStringLiteral("loss %1").arg(p.lossShare);
    if (p.rateBitsPerSecond)
        words << QStringLiteral("rate %1").arg(p.rateBitsPerSecond);
    return words.join(QLatin1Char(' '));
}

bool writeFile(const QString &path, const QByteArray &text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size();
}

// A radio and its watcher, with a file of its own to load and change.
struct LoadedRadio
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("radio.json"));
    TRadio radio;
    TRadioWatcher watcher{radio};
    QString error;

    bool write(const QByteArray &text) const { return writeFile(path, text); }
    bool load(const QByteArray &text) { return write(text) && watcher.load(path, error); }
};

const QByteArray kFile = R"({
  "seed": 7, "default": "delay 20ms",
  "links": [
    {"from": "uav1", "to": "uav2", "profile": "down"},
    {"from": "gcs", "to": "*", "profile": "delay 50ms loss 2%"},
    {"from": "*", "to": "uav3", "profile": "rate 64kbit limit 50"},
    {"from": "uav2", "to": "uav3", "profile": "clean"},
    {"from": "uav4", "to": "*", "profile": "default"}
  ],
  "schedule": [
    {"at": "150ms", "from": "uav1", "to": "uav2", "profile": "default"},
    {"at": "150ms", "from": "uav5", "to": "gcs", "profile": "down"}
  ]})";
} // namespace

class TstRadio : public QObject
{
    Q_OBJECT

private slots:
    void rules_data();
    void rules();
    void rowMarks_data();
    void rowMarks();
    void wildcardSharesOneQueue();
    void badFiles_data();
    void badFiles();
    void badChangeKeepsRules();
    void anotherFileRulesEveryPair();
    void setRuleKeepsTheRest();
    void lossShares_data();
    void lossShares();
    void seedsAndOrder();
    void rateQueueDropsWhatDoesNotFit();
};

void TstRadio::rules_data()
{
    QTest::addColumn<bool>("afterSchedule");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("profile");
    QTest::newRow("exact pair") << false << uav(1) << uav(2) << "down";
    QTest::newRow("exact pair over both wildcards") << false << uav(2) << uav(3) << "clean";
    QTest::newRow("from before to") << false << gcs << uav(3) << "delay 50000 loss 0.02";
    QTest::newRow("to any from") << false << uav(1) << uav(3) << "rate 64000";
    QTest::newRow("default for the rest") << false << uav(2) << uav(1) << "delay 20000";
    QTest::newRow("default written out") << false << uav(4) << uav(1) << "delay 20000";
    QTest::newRow("other direction of a pair") << false << uav(2) << uav(1) << "delay 20000";
    QTest::newRow("schedule back to default") << true << uav(1) << uav(2) << "delay 20000";
    QTest::newRow("schedule adds a rule") << true << uav(5) << gcs << "down";
    QTest::newRow("schedule leaves the others") << true << gcs << uav(1) << "delay 50000 loss 0.02";
}

void TstRadio::rules()
{
    QFETCH(bool, afterSchedule);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, profile);
    LoadedRadio loaded;
    TRadio &radio = loaded.radio;
    QVERIFY2(loaded.load(kFile), qPrintable(loaded.error));
    const auto now = [&] { return describe(radio.rules()->find(from, to)); };
    if (afterSchedule)
        QTRY_COMPARE_WITH_TIMEOUT(describe(radio.rules()->find(uav(5), gcs)),
                                  QStringLiteral("down"), 2000);
    QCOMPARE(now(), profile);
}

void TstRadio::rowMarks_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QList<int>>("marked");
    const QList<int> all{gcs, uav(1), uav(2), uav(3), uav(4)};
    QTest::newRow("names, not wildcards")
        << QByteArray(R"({"links": [{"from": "uav1", "to": "uav2", "profile": "down"},
                                    {"from": "*", "to": "uav3", "profile": "rate 64kbit"},
                                    {"from": "uav4", "to": "*", "profile": "clean"}]})")
        << QList<int>{uav(1), uav(2), uav(3)};
    QTest::newRow("a later clean rule for the pair")
        << QByteArray(R"({"links": [{"from": "uav1", "to": "uav2", "profile": "down"},
                                    {"from": "uav1", "to": "uav2", "profile": "clean"}]})")
        << QList<int>{};
    QTest::newRow("a default") << QByteArray(R"({"default": "loss 1%"})") << all;
    QTest::newRow("a clean default") << QByteArray(R"({"default": "clean"})") << QList<int>{};
    QTest::newRow("any to any")
        << QByteArray(R"({"links": [{"from": "*", "to": "*", "profile": "delay 5ms"}]})") << all;
}

// Which rows the window marks as having rules.
void TstRadio::rowMarks()
{
    QFETCH(QByteArray, file);
    QFETCH(QList<int>, marked);
    QString error;
    const TRadioFile parsed = TRadioFile::parse(file, error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const TRadioFile::Rule fallback{QStringLiteral("*"), QStringLiteral("*"), parsed.defaultText,
                                    parsed.defaultProfile};
    const TRadioRules rules(parsed.seed, parsed.defaultText.isEmpty() ? nullptr : &fallback,
                            parsed.rules, 1, nullptr);
    for (int link : {gcs, uav(1), uav(2), uav(3), uav(4)})
        QVERIFY2(rules.names(link) == marked.contains(link), qPrintable(QString::number(link)));
}

void TstRadio::wildcardSharesOneQueue()
{
    LoadedRadio loaded;
    TRadio &radio = loaded.radio;
    QVERIFY(loaded.load(kFile));
    const auto queueOf = [&](int from, int to) {
        return radio.rules()->find(from, to)->sharedQueue.get();
    };
    TRateQueue *toUav3 = queueOf(uav(1), uav(3));
    QVERIFY(toUav3);
    QCOMPARE(queueOf(uav(6), uav(3)), toUav3);
    QCOMPARE(queueOf(gcs, uav(3)), nullptr); // gcs -> * wins, and has no rate
    // The default is each pair's own: no queue in common.
    QCOMPARE(queueOf(uav(2), uav(1)), nullptr);
    // A schedule change elsewhere leaves the queue, and what waits in it.
    QTRY_COMPARE_WITH_TIMEOUT(describe(radio.rules()->find(uav(5), gcs)), QStringLiteral("down"),
                              2000);
    QCOMPARE(queueOf(uav(1), uav(3)), toUav3);
}

void TstRadio::badFiles_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("error");
    QTest::newRow("syntax") << QByteArray("{\n \"seed\": 7,\n \"links\": [}\n") << "line 3: ";
    QTest::newRow("profile word")
        << QByteArray(R"({"links": [{"from": "gcs", "to": "*", "profile": "delay 5 parsecs"}]})")
        << "links[0].profile = \"delay 5 parsecs\": a profile word is";
    QTest::newRow("loss above 100")
        << QByteArray(R"({"default": "loss 150%"})") << "default = \"loss 150%\": loss takes";
    QTest::newRow("link name")
        << QByteArray(R"({"links": [{"from": "plane1", "to": "*", "profile": "down"}]})")
        << "links[0].from = \"plane1\"";
    QTest::newRow("seed") << QByteArray(R"({"seed": "seven"})") << "seed = \"seven\"";
    QTest::newRow("schedule time")
        << QByteArray(
               R"({"schedule": [{"at": "soon", "from": "gcs", "to": "*", "profile": "down"}]})")
        << "schedule[0].at = \"soon\"";
    QTest::newRow("unknown field") << QByteArray(R"({"rules": []})") << "rules: not a field";
}

void TstRadio::badFiles()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, error);
    QString why;
    TRadioFile::parse(text, why);
    QVERIFY2(why.startsWith(error), qPrintable(why));
}

void TstRadio::badChangeKeepsRules()
{
    LoadedRadio loaded;
    TRadio &radio = loaded.radio;
    QSignalSpy refused(&loaded.watcher, &TRadioWatcher::refused);
    QVERIFY(loaded.load(R"({"links": [{"from": "gcs", "to": "uav1", "profile": "down"}]})"));
    QVERIFY(loaded.write(R"({"links": [{"from": "gcs", "to": "uav1", "profile": "lossy"}]})"));
    QTRY_COMPARE(refused.count(), 1);
    QVERIFY2(refused.first().first().toString().contains(QStringLiteral("links[0].profile")),
             qPrintable(refused.first().first().toString()));
    QCOMPARE(describe(radio.rules()->find(gcs, uav(1))), QStringLiteral("down"));
    // A good change applies without a restart.
    QVERIFY(loaded.write(R"({"links": [{"from": "gcs", "to": "uav1", "profile": "delay 1s"}]})"));
    QTRY_COMPARE(describe(radio.rules()->find(gcs, uav(1))), QStringLiteral("delay 1000000"));
}

// A file loaded in place of another (the window's button, the control
// socket) numbers its tables afresh; a pair that decided under the first
// must still follow the second.
void TstRadio::anotherFileRulesEveryPair()
{
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("first.json"));
    const QString second = dir.filePath(QStringLiteral("second.json"));
    QVERIFY(writeFile(first, R"({"links": [{"from": "gcs", "to": "uav1", "profile": "down"}]})"));
    QVERIFY(writeFile(second, R"({"links": [{"from": "gcs", "to": "uav1", "profile": "clean"}]})"));
    TRadio radio;
    QString error;
    using Fate = TRadio::Verdict::Fate;
    {
        TRadioWatcher watcher(radio);
        QVERIFY(watcher.load(first, error));
        QCOMPARE(radio.decide(gcs, uav(1), 0, 40).fate, Fate::Down);
    }
    TRadioWatcher watcher(radio);
    QVERIFY(watcher.load(second, error));
    QCOMPARE(radio.decide(gcs, uav(1), 0, 40).fate, Fate::Pass);
}

// One rule set by hand replaces its pair's and keeps the file's others, its
// seed and its schedule, until the file changes; without a file it is the
// only rule.
void TstRadio::setRuleKeepsTheRest()
{
    LoadedRadio loaded;
    TRadio &radio = loaded.radio;
    TRadioWatcher &watcher = loaded.watcher;
    QVERIFY(loaded.load(R"({"seed": 7, "links": [
        {"from": "uav1", "to": "uav2", "profile": "down"},
        {"from": "gcs", "to": "*", "profile": "delay 50ms"}],
      "schedule": [{"at": "100ms", "from": "uav3", "to": "gcs", "profile": "down"}]})"));
    QCOMPARE(int(radio.decide(uav(1), uav(2), 1000, 36).fate), int(TRadio::Verdict::Fate::Down));
    QString why;
    watcher.setRule({"uav1", "uav2", "delay 5ms", TRadioProfile::parse("delay 5ms", why)});
    const TRadio::Verdict now = radio.decide(uav(1), uav(2), 1000, 36);
    QCOMPARE(int(now.fate), int(TRadio::Verdict::Fate::Pass));
    QCOMPARE(now.dueUs, 1000 + 5000);
    QCOMPARE(describe(radio.rules()->find(gcs, uav(4))), QStringLiteral("delay 50000"));
    QCOMPARE(radio.rules()->seed(), quint64(7));
    QTRY_COMPARE(describe(radio.rules()->find(uav(3), gcs)), QStringLiteral("down"));
    QCOMPARE(describe(radio.rules()->find(uav(1), uav(2))), QStringLiteral("delay 5000"));
    // The file read again wins.
    QVERIFY(loaded.write(R"({"links": [{"from": "uav1", "to": "uav2", "profile": "down"}]})"));
    QTRY_COMPARE(describe(radio.rules()->find(uav(1), uav(2))), QStringLiteral("down"));

    TRadio bare;
    TRadioWatcher none(bare);
    none.setRule({"uav2", "*", "down", TRadioProfile::parse("down", why)}, 5);
    QCOMPARE(bare.rules()->seed(), quint64(5));
    QCOMPARE(int(bare.decide(uav(2), gcs, 1000, 36).fate), int(TRadio::Verdict::Fate::Down));
    QCOMPARE(describe(bare.rules()->find(uav(1), gcs)), QStringLiteral("clean"));
}

void TstRadio::lossShares_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<double>("lostLeast");
    QTest::addColumn<double>("lostMost");
    QTest::addColumn<double>("burstLeast");
    QTest::addColumn<double>("burstMost");
    QTest::newRow("independent 10%") << "loss 10%" << 0.096 << 0.104 << 1.0 << 1.2;
    // One in five leaves the bad state: bursts of 5 on average.
    QTest::newRow("gemodel 1 20") << "loss gemodel 1 20" << 0.0 << 1.0 << 4.5 << 5.5;
}

void TstRadio::lossShares()
{
    QFETCH(QString, profile);
    QString error;
    TRadioFile::Rule rule{QStringLiteral("gcs"), QStringLiteral("uav1"), profile,
                          TRadioProfile::parse(profile, error)};
    QVERIFY(error.isNull());
    TRadio radio;
    radio.install(
        std::make_shared<TRadioRules>(3, nullptr, QVector<TRadioFile::Rule>{rule}, 1, nullptr));
    const int blocks = 100000;
    int lost = 0, bursts = 0;
    bool inBurst = false;
    for (int i = 0; i < blocks; ++i) {
        const bool gone = radio.decide(gcs, uav(1), i, 40).fate == TRadio::Verdict::Fate::Lost;
        lost += gone;
        bursts += gone && !inBurst;
        inBurst = gone;
    }
    const double share = double(lost) / blocks;
    const double burst = double(lost) / qMax(bursts, 1);
    qInfo("%s: %.4f lost, bursts of %.2f on average", qPrintable(profile), share, burst);
    QFETCH(double, lostLeast);
    QFETCH(double, lostMost);
    QFETCH(double, burstLeast);
    QFETCH(double, burstMost);
    QVERIFY2(share >= lostLeast && share <= lostMost, qPrintable(QString::number(share)));
    QVERIFY2(burst >= burstLeast && burst <= burstMost, qPrintable(QString::number(burst)));
}

void TstRadio::seedsAndOrder()
{
    const auto run = [](quint64 seed, QVector<qint64> *dues) {
        QString error;
        const QString text = QStringLiteral("delay 50ms 30ms loss 30%");
        TRadioFile::Rule rule{QStringLiteral("uav1"), QStringLiteral("*"), text,
                              TRadioProfile::parse(text, error)};
        TRadio radio;
        radio.install(std::make_shared<TRadioRules>(seed, nullptr, QVector<TRadioFile::Rule>{rule},
                                                    1, nullptr));
        QVector<int> lost;
        for (int i = 0; i < 2000; ++i) {
            const TRadio::Verdict v = radio.decide(uav(1), uav(2), i * 1000, 40);
            if (v.fate == TRadio::Verdict::Fate::Lost)
                lost << i;
            else if (dues)
                *dues << i * 1000 << v.dueUs;
            // Another pair in between changes nothing of this one.
            radio.decide(uav(1), uav(3), i * 1000, 40);
        }
        return lost;
    };
    QVector<qint64> waits; // handed, due, handed, due, ...
    const QVector<int> first = run(7, &waits);
    QCOMPARE(run(7, nullptr), first);
    QVERIFY(run(8, nullptr) != first);
    // Each block waits 20..80 ms, or longer only to keep behind the one
    // before: never does a later block leave first.
    qint64 lastDue = 0;
    int heldBack = 0;
    for (int i = 0; i < waits.size(); i += 2) {
        const qint64 handed = waits[i], due = waits[i + 1];
        QVERIFY(due >= lastDue);
        QVERIFY2(due - handed >= 20000, qPrintable(QString::number(due - handed)));
        if (due == lastDue)
            ++heldBack;
        else
            QVERIFY2(due - handed <= 80000, qPrintable(QString::number(due - handed)));
        lastDue = due;
    }
    QVERIFY(heldBack > 0);
}

void TstRadio::rateQueueDropsWhatDoesNotFit()
{
    QString error;
    const QString text = QStringLiteral("rate 80kbit limit 5");
    TRadioFile::Rule rule{QStringLiteral("*"), QStringLiteral("uav3"), text,
                          TRadioProfile::parse(text, error)};
    TRadio radio;
    radio.install(
        std::make_shared<TRadioRules>(1, nullptr, QVector<TRadioFile::Rule>{rule}, 1, nullptr));
    // 100 bytes at 10,000 bytes a second: 10 ms each, from both senders in turn.
    QVector<qint64> dues;
    int full = 0;
    for (int i = 0; i < 12; ++i) {
        const TRadio::Verdict v = radio.decide(i % 2 ? gcs : uav(1), uav(3), 0, 100);
        if (v.fate == TRadio::Verdict::Fate::QueueFull)
            ++full;
        else
            dues << v.dueUs;
    }
    QCOMPARE(full, 7);
    QCOMPARE(dues, (QVector<qint64>{10000, 20000, 30000, 40000, 50000}));
    // Once the first has left, one more fits.
    QCOMPARE(radio.decide(uav(2), uav(3), 10000, 100).dueUs, 60000);
}

QTEST_GUILESS_MAIN(TstRadio)
#include "tst_radio.moc"
