// The message manager: debug lines, forwards and self-closing boxes, run on
// the offscreen platform.

#include "msg/tmsgmanager.h"
#include "testsupport.h"
#include "windowsupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QThread>
#include <QtTest>

namespace {

QList<QMessageBox *> visibleBoxes()
{
    QList<QMessageBox *> boxes;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
            boxes.append(box);
    return boxes;
}

struct SeenBox
{
    QString title, text;
    int icon = -1;
    QMessageBox::StandardButtons buttons;
    Qt::WindowFlags flags;
    bool inGuiThread = false;
};

SeenBox look(QMessageBox *box)
{
    return {box->windowTitle(),     box->text(),        box->icon(),
            box->standardButtons(), box->windowFlags(), box->thread() == qApp->thread()};
}

} // namespace

class TestMsgManager : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void boxPerLevel_data();
    void boxPerLevel();
    void burstSharesOneBox_data();
    void burstSharesOneBox();
    void closedBoxTakesBurstTail();
    void boxClosesAfterLastLine();
    void forwardsAndLogs_data();
    void forwardsAndLogs();
    void secondManagerHasNoEffect();
};

// A box of the case before is freed once its burst is over.
void TestMsgManager::init()
{
    QTRY_VERIFY(!windowtest::BoxWatcher::anyLeft());
}

void TestMsgManager::boxPerLevel_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("icon");

    QTest::newRow("Debug") << 0 << "DEBUG" << int(QMessageBox::Information);
    QTest::newRow("Info") << 1 << "INFO " << int(QMessageBox::Information);
    QTest::newRow("Warn") << 2 << "WARN " << int(QMessageBox::Warning);
    QTest::newRow("Error") << 3 << "ERROR" << int(QMessageBox::Critical);
    QTest::newRow("Fatal") << 4 << "FATAL" << int(QMessageBox::Critical);
    QTest::newRow("unknown level") << 9 << "INFO" << int(QMessageBox::Information);
}

// Emitted in the GUI thread the box is up as soon as the emit returns: it
// is shown, not run in an event loop of its own. The operator closes it.
void TestMsgManager::boxPerLevel()
{
    QFETCH(int, level);

    emit TMsgManager::instance()->showMsg(12, BoxMsg, MsgLevel(level), QStringLiteral("abc"));
    const QList<QMessageBox *> boxes = visibleBoxes();
    QCOMPARE(boxes.size(), 1);
    QPointer<QMessageBox> box = boxes.first();
    const SeenBox seen = look(box);
    QTEST(seen.title, "title");
    QTEST(seen.icon, "icon");
    QCOMPARE(seen.text, QStringLiteral("abc"));
    QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Close));
    QVERIFY(seen.flags.testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(seen.flags.testFlag(Qt::Dialog));
    QVERIFY(!QApplication::activeModalWidget());

    box->button(QMessageBox::Close)->click();
    QVERIFY(!box->isVisible());
    QTRY_VERIFY2(box.isNull(), "the closed box was never freed");
}

void TestMsgManager::burstSharesOneBox_data()
{
    QTest::addColumn<QVariantList>("sent"); // id, level, text, id, level, text, ...
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("icon");

    QTest::newRow("a line a row, in row order")
        << QVariantList{12, Warn, "c", 10, Warn, "a", 11, Warn, "b"} << QStringList{"a", "b", "c"}
        << "WARN " << int(QMessageBox::Warning);
    QTest::newRow("a row twice: its latest line")
        << QVariantList{11, Warn, "first", 11, Error, "second"} << QStringList{"second"} << "ERROR"
        << int(QMessageBox::Critical);
    QTest::newRow("mixed levels: the most severe look")
        << QVariantList{10, Info, "a", 11, Error, "b", 12, Warn, "c"} << QStringList{"a", "b", "c"}
        << "ERROR" << int(QMessageBox::Critical);
}

// Messages emitted together in a link's thread open one box in the GUI
// thread.
void TestMsgManager::burstSharesOneBox()
{
    QFETCH(QVariantList, sent);
    QFETCH(QStringList, lines);

    std::unique_ptr<QThread> link(QThread::create([sent] {
        for (int i = 0; i + 2 < sent.size(); i += 3)
            emit TMsgManager::instance()->showMsg(sent.at(i).toInt(), BoxMsg,
                                                  MsgLevel(sent.at(i + 1).toInt()),
                                                  sent.at(i + 2).toString());
    }));
    link->start();
    QVERIFY(link->wait(5000));

    const QString text = lines.join(QLatin1Char('\n'));
    QTRY_COMPARE(visibleBoxes().value(0) ? visibleBoxes().first()->text() : QString(), text);
    QCOMPARE(visibleBoxes().size(), 1);
    const SeenBox seen = look(visibleBoxes().first());
    QTEST(seen.title, "title");
    QTEST(seen.icon, "icon");
    QVERIFY(seen.inGuiThread);
}

// The operator closes the box at once, and the next failure follows close
// behind: it joins the same box, which comes back with both lines. Once
// the burst is over the next message starts a box of its own.
void TestMsgManager::closedBoxTakesBurstTail()
{
    emit TMsgManager::instance()->showMsg(10, BoxMsg, Warn, QStringLiteral("a"));
    QPointer<QMessageBox> first = visibleBoxes().value(0);
    QVERIFY(first);
    first->button(QMessageBox::Close)->click();
    QVERIFY(visibleBoxes().isEmpty());
    emit TMsgManager::instance()->showMsg(11, BoxMsg, Warn, QStringLiteral("b"));
    QCOMPARE(visibleBoxes(), QList<QMessageBox *>{first});
    QCOMPARE(first->text(), QStringLiteral("a\nb"));

    first->button(QMessageBox::Close)->click();
    QTRY_VERIFY(first.isNull());
    emit TMsgManager::instance()->showMsg(12, BoxMsg, Warn, QStringLiteral("c"));
    QCOMPARE(visibleBoxes().size(), 1);
    QCOMPARE(visibleBoxes().first()->text(), QStringLiteral("c"));
}

// A second line a second after the first keeps the box up for the full
// time again.
void TestMsgManager::boxClosesAfterLastLine()
{
    QObject guard;
    emit TMsgManager::instance()->showMsg(10, BoxMsg, Warn, QStringLiteral("a"));
    QMessageBox *box = visibleBoxes().value(0);
    QVERIFY(box);
    int result = -1;
    QString textAtClose;
    connect(box, &QDialog::finished, &guard, [&, box](int r) {
        result = r;
        textAtClose = box->text();
    });
    QElapsedTimer sinceLast;
    QTimer::singleShot(1000, &guard, [&sinceLast] {
        emit TMsgManager::instance()->showMsg(11, BoxMsg, Warn, QStringLiteral("b"));
        sinceLast.start();
    });

    QTRY_VERIFY_WITH_TIMEOUT(result != -1, 10000);
    const qint64 elapsed = sinceLast.isValid() ? sinceLast.elapsed() : -1;
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(textAtClose, QStringLiteral("a\nb"));
    // A coarse timer may fire up to 5 % early.
    QVERIFY2(elapsed >= 1900 && elapsed < 4000, qPrintable(QString::number(elapsed)));
    QTRY_VERIFY(!windowtest::BoxWatcher::anyLeft());
}

void TestMsgManager::forwardsAndLogs_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("level");
    QTest::addColumn<QVariantList>("forward"); // id, level, text; empty for none
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("FcsMsg") << 1 << 3 << QVariantList{12, 3, "x"}
                            << QStringList{QStringLiteral("FcsMsg: \"x\"")};
    QTest::newRow("GcsMsg") << 2 << 1 << QVariantList{-1, 1, "x"}
                            << QStringList{QStringLiteral("GcsMsg: \"x\"")};
    QTest::newRow("type 0") << 0 << 2 << QVariantList() << QStringList();
    QTest::newRow("type 3") << 3 << 2 << QVariantList() << QStringList();
}

void TestMsgManager::forwardsAndLogs()
{
    QFETCH(int, type);
    QFETCH(int, level);
    QFETCH(QVariantList, forward);

    QSignalSpy spy(TMsgManager::instance(), &TMsgManager::uiShowMsgSignal);
    QStringList lines;
    {
        testsupport::MessageCapture capture;
        emit TMsgManager::instance()->showMsg(12, MsgType(type), MsgLevel(level),
                                              QStringLiteral("x"));
        lines = capture.lines();
    }
    QTEST(lines, "lines");
    QCOMPARE(spy.size(), forward.isEmpty() ? 0 : 1);
    if (!forward.isEmpty()) {
        QCOMPARE(spy.first().at(0).toInt(), forward.at(0).toInt());
        QCOMPARE(int(qvariant_cast<MsgLevel>(spy.first().at(1))), forward.at(1).toInt());
        QCOMPARE(spy.first().at(2).toString(), forward.at(2).toString());
    }
    QVERIFY(!windowtest::BoxWatcher::anyLeft());
}

void TestMsgManager::secondManagerHasNoEffect()
{
    TMsgManager *first = TMsgManager::instance();
    testsupport::MessageCapture capture;
    TMsgManager second;
    QCOMPARE(capture.lines(), QStringList{QStringLiteral("TMsgManager must be sigleton")});
    QCOMPARE(TMsgManager::instance(), first);

    QSignalSpy firstSpy(first, &TMsgManager::uiShowMsgSignal);
    QSignalSpy secondSpy(&second, &TMsgManager::uiShowMsgSignal);
    emit second.showMsg(1, FcsMsg, Info, QStringLiteral("x"));
    emit second.showMsg(1, BoxMsg, Warn, QStringLiteral("x"));
    QCoreApplication::processEvents();
    QCOMPARE(firstSpy.size() + secondSpy.size(), 0);
    QCOMPARE(capture.lines().size(), 1);
    QVERIFY(!windowtest::BoxWatcher::anyLeft());
}

QTEST_MAIN(TestMsgManager)
#include "tst_msgmanager.moc"
