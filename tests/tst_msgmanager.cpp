// The message manager: debug lines, forwards and self-closing boxes, run on
// the offscreen platform.

#include "msg/tmsgmanager.h"
#include "testsupport.h"

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

bool anyBoxLeft()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (qobject_cast<QMessageBox *>(w))
            return true;
    return false;
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
    void boxPerLevel_data();
    void boxPerLevel();
    void boxClosesItself();
    void forwardsAndLogs_data();
    void forwardsAndLogs();
    void boxesFromAnotherThread();
    void secondManagerHasNoEffect();
};

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

// Each box is inspected while its exec() runs, then closed with its button.
void TestMsgManager::boxPerLevel()
{
    QFETCH(int, level);

    QObject guard;
    QPointer<QMessageBox> box;
    SeenBox seen;
    QTimer::singleShot(50, &guard, [&] {
        box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen = look(box);
        box->button(QMessageBox::Close)->click();
    });
    emit TMsgManager::instance()->showMsg(12, BoxMsg, MsgLevel(level), QStringLiteral("abc"));

    QVERIFY2(!seen.title.isNull(), "no modal box was open");
    QTEST(seen.title, "title");
    QTEST(seen.icon, "icon");
    QCOMPARE(seen.text, QStringLiteral("abc"));
    QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Close));
    QVERIFY(seen.flags.testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(seen.flags.testFlag(Qt::Dialog));
    QVERIFY2(box.isNull(), "the box outlived its exec()");
}

void TestMsgManager::boxClosesItself()
{
    QObject guard;
    int result = -1;
    QTimer::singleShot(50, &guard, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            connect(box, &QDialog::finished, &guard, [&](int r) { result = r; });
    });
    QElapsedTimer clock;
    clock.start();
    emit TMsgManager::instance()->showMsg(12, BoxMsg, Warn, QStringLiteral("abc"));
    const qint64 elapsed = clock.elapsed();

    QCOMPARE(result, int(QDialog::Accepted));
    // A coarse timer may fire up to 5 % early.
    QVERIFY2(elapsed >= 1900 && elapsed < 4000, qPrintable(QString::number(elapsed)));
    QVERIFY(!anyBoxLeft());
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
    QVERIFY(!anyBoxLeft());
}

// Messages emitted in another thread open their boxes in the GUI thread; a
// second box opens on top of the first while the first still runs.
void TestMsgManager::boxesFromAnotherThread()
{
    QObject guard;
    QVector<SeenBox> seen;
    QTimer::singleShot(500, &guard, [&] {
        for (QMessageBox *box : visibleBoxes())
            seen.append(look(box));
    });
    std::unique_ptr<QThread> link(QThread::create([] {
        emit TMsgManager::instance()->showMsg(11, BoxMsg, Warn, QStringLiteral("first"));
        emit TMsgManager::instance()->showMsg(11, BoxMsg, Error, QStringLiteral("second"));
    }));
    link->start();
    QVERIFY(link->wait(5000));

    QTRY_COMPARE_WITH_TIMEOUT(seen.size(), 2, 10000);
    QStringList texts{seen.at(0).text, seen.at(1).text};
    texts.sort();
    QCOMPARE(texts, (QStringList{QStringLiteral("first"), QStringLiteral("second")}));
    QVERIFY(seen.at(0).inGuiThread && seen.at(1).inGuiThread);
    QTRY_VERIFY_WITH_TIMEOUT(!anyBoxLeft(), 10000);
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
    QVERIFY(!anyBoxLeft());
}

QTEST_MAIN(TestMsgManager)
#include "tst_msgmanager.moc"
