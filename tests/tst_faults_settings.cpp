// A settings file that is missing, empty, garbage or no file at all, and a
// settings folder that cannot be read or written: the window starts with
// the defaults (or with whatever is still readable), the operator can still
// connect, what could be read is not lost by the next save, and a file that
// cannot be used is named in the debug output instead of being passed over.

#include "testsupport.h"
#include "windowsupport.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <unistd.h>

using namespace windowtest;

namespace {
const QString kIni = QStringLiteral("cfg/app.ini");
// As the settings facility writes the unicast entry.
const QByteArray kCon0Group = "[Con0]\nConType=Udp\\x5355\\x64ad\nLocalPort=7123\n";

QByteArray garbage(int size)
{
    QByteArray bytes(size, '\0');
    QRandomGenerator random(size);
    for (char &c : bytes)
        c = char(random.bounded(256));
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// The state of cfg/ as bytes, to tell whether anything was written.
QByteArray snapshot()
{
    QFileInfo ini(kIni);
    QFile file(kIni);
    const QByteArray content = ini.isFile() && file.open(QIODevice::ReadOnly) ? file.readAll() : "";
    return QByteArray::number(QFileInfo(QStringLiteral("cfg")).isDir()) +
           QByteArray::number(ini.isDir()) + content;
}
} // namespace

class TstFaultsSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void badSettings_data();
    void badSettings();

private:
    // Every case in a folder of its own: the settings facility keeps what
    // it could not write in memory, under the file's full path.
    std::unique_ptr<QTemporaryDir> dir;
    QString home;
};

void TstFaultsSettings::init()
{
    home = QDir::currentPath();
    dir = std::make_unique<QTemporaryDir>(home + QStringLiteral("/case-XXXXXX"));
    QVERIFY(dir->isValid());
    QVERIFY(QDir::setCurrent(dir->path()));
}

void TstFaultsSettings::cleanup()
{
    QFile::setPermissions(QStringLiteral("cfg"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::setPermissions(kIni, QFile::ReadOwner | QFile::WriteOwner);
    QDir::setCurrent(home);
    dir.reset();
}

void TstFaultsSettings::badSettings_data()
{
    QTest::addColumn<QString>("setup");
    // What vehicle 0's form shows: its stored port, or the ground station's
    // default port one up.
    QTest::addColumn<QString>("con0Port");
    QTest::addColumn<bool>("saved"); // Connect keeps the ground station's settings
    QTest::addColumn<QString>("diagnostic");

    const QString notSaved = QStringLiteral("not saved");
    QTest::newRow("absent") << "absent"
                            << "7002" << true << QString();
    QTest::newRow("empty") << "empty"
                           << "7002" << true << QString();
    // Whether the parser finds fault with garbage depends on the bytes.
    QTest::newRow("binary garbage") << "garbage"
                                    << "7002" << true << "any";
    QTest::newRow("a group, then garbage") << "group+garbage"
                                           << "7123" << true << "any";
    QTest::newRow("a directory where the file is") << "dir"
                                                   << "7002" << false << notSaved;
    QTest::newRow("a file where the folder is") << "cfg file"
                                                << "7002" << false << notSaved;
    QTest::newRow("file without read permission") << "unreadable"
                                                  << "7002" << false << "not read";
    QTest::newRow("read-only folder") << "read-only"
                                      << "7123" << false << notSaved;
}

void TstFaultsSettings::badSettings()
{
    QFETCH(QString, setup);
    QFETCH(QString, con0Port);
    QFETCH(bool, saved);
    QFETCH(QString, diagnostic);

    const bool permissionsBite = geteuid() != 0;
    if ((setup == "unreadable" || setup == "read-only") && !permissionsBite)
        QSKIP("running as root, where file modes do not keep anyone out; the directory and "
              "file rows cover a settings file that cannot be used");
    if (setup != "absent" && setup != "cfg file")
        QVERIFY(QDir().mkpath(QStringLiteral("cfg")));
    if (setup == "empty")
        QVERIFY(writeFile(kIni, QByteArray()));
    else if (setup == "garbage")
        QVERIFY(writeFile(kIni, garbage(65536)));
    else if (setup == "group+garbage" || setup == "unreadable" || setup == "read-only")
        QVERIFY(writeFile(kIni, kCon0Group + garbage(4096)));
    else if (setup == "dir")
        QVERIFY(QDir().mkpath(kIni));
    else if (setup == "cfg file")
        QVERIFY(writeFile(QStringLiteral("cfg"), "not a folder"));
    if (setup == "unreadable")
        QVERIFY(QFile::setPermissions(kIni, QFile::WriteOwner));
    if (setup == "read-only")
        QVERIFY(QFile::setPermissions(QStringLiteral("cfg"), QFile::ReadOwner | QFile::ExeOwner));
    const QByteArray before = snapshot();

    testsupport::MessageCapture capture;
    {
        Window window;
        TIoForm *gcs = window.gcsForm();
        TIoForm *con0 = window.uavForm(0);
        QCOMPARE(gcs->getConType(), int(IOHandler::Serial));
        QCOMPARE(gcs->localPortEdit->text(), QStringLiteral("7001"));
        QCOMPARE(con0->localPortEdit->text(), con0Port);
        QCOMPARE(con0->getConType(),
                 int(con0Port == "7002" ? IOHandler::Serial : IOHandler::UdpUnicast));

        // The operator can work all the same.
        const quint16 port = testsupport::freeUdpPort();
        setUnicast(gcs, port, testsupport::freeUdpPort());
        QTest::mouseClick(gcs->connectBtn, Qt::LeftButton);
        QTRY_VERIFY2(locked(gcs), qPrintable(capture.lines().join('\n')));
        QSettings settings(kIni, QSettings::IniFormat);
        if (saved)
            QCOMPARE(settings.value("Connect/LocalPort").toString(), QString::number(port));
        else
            QCOMPARE(snapshot(), before);
        // What could be read before is still there.
        if (con0Port != "7002")
            QCOMPARE(settings.value("Con0/LocalPort").toString(), con0Port);
    }
    if (diagnostic.isEmpty())
        QVERIFY(!capture.contains(QStringLiteral("settings file")));
    else if (diagnostic != QLatin1String("any"))
        QVERIFY2(capture.contains(diagnostic), qPrintable(capture.lines().join('\n')));
}

QTEST_MAIN(TstFaultsSettings)
#include "tst_faults_settings.moc"
