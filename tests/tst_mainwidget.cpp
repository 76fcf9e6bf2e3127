// Main window: start-up, adding and deleting vehicles, connect
// and disconnect requests, and forms that follow their links' events.
//
// The link registry, the application object and TGcsPtl::instance are
// process-wide: every case builds its own window and empties the registry
// afterwards (TLinkManager::shutdownAll); a ground-station link that goes
// gives its registration up, so each window's own one relays.

#include "config/tswarmfile.h"
#include "control/tcontrolcommands.h"
#include "link/iohandler.h"
#include "link/tlinkmanager.h"
#include "linktestsupport.h"
#include "protocol/tgcsptl.h"
#include "protocol/tuavptl.h"
#include "radio/tradio.h"
#include "relaysupport.h"
#include "session/tapp.h"
#include "session/trelaysession.h"
#include "session/version.h"
#include "testsupport.h"
#include "ui/kit/telidedlabel.h"
#include "ui/kit/tlabel.h"
#include "ui/kit/tlabelcombox.h"
#include "ui/kit/tlabellineedit.h"
#include "ui/kit/tpushbutton.h"
#include "ui/tcounterrefresh.h"
#include "ui/tformsettings.h"
#include "ui/tioform.h"
#include "ui/tlinkrow.h"
#include "ui/tmainwidget.h"
#include "ui/tradiobutton.h"
#include "ui/trecordbutton.h"
#include "ui/trowlist.h"
#include "ui/twindowfit.h"
#include "windowsupport.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaMethod>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QToolButton>
#include <QUdpSocket>
#include <QtTest>

#include <memory>

namespace {
const QString kIni = QStringLiteral("./cfg/app.ini");
const QString kUnicast = QStringLiteral("Udp单播");

struct Request
{
    int id;     // the id in the record
    int linkId; // the link it was emitted on
    bool isConFlag;
    bool savedFirst; // the form's group held the form's current values
    QString localPort;
};

// Sets a form to UDP unicast on 127.0.0.1 with free ports, through its controls.
void makeUnicast(TIoForm *form)
{
    windowtest::setUnicast(form, testsupport::freeUdpPort(), testsupport::freeUdpPort());
}

using windowtest::locked;
using windowtest::unlocked;

// A radio file of `text` in `dir`; empty when it could not be written.
QString radioFile(const QTemporaryDir &dir, const QByteArray &text)
{
    const QString path = dir.filePath(QStringLiteral("radio.json"));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() ? path : QString();
}

IOHandler::DeviceInfo recordWithId(int id)
{
    IOHandler::DeviceInfo d{};
    d.id = id;
    return d;
}
} // namespace

class TstMainWidget : public QObject
{
    Q_OBJECT

private slots:
    void radioButtonRemembersItsFile();
    void rowsMarkLinksWithRadioRules();
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void startUp();
    void metaObject();
    void layoutAndTexts();
    void paintsDarkBackground();
    void threeAddsGiveCon1ToCon3();
    void deleteRemovesLastAndReAddRestores();
    void deleteWithOneVehicleDoesNothing();
    void connectAllAndDisconnectAll();
    void singleFormConnectAndDisconnect();
    void eventsLockAndUnlockByRecordId_data();
    void eventsLockAndUnlockByRecordId();
    void eventsFromRealLinks();
    void uavSlotsIgnoreInvalidSenders_data();
    void uavSlotsIgnoreInvalidSenders();
    void uavSlotWithoutSender();
    void gcsSlotWithoutLink();
    void windowFit_data();
    void windowFit();
    void swarmFitsTheScreen();
    void fieldsFitAtNarrowestWidth();
    void defaultPortsConnect();
    void storedSwarmComesBack();
    void scriptedSwarmFile();
    void windowAndHeadlessAgree();
    void screenshot();
    void recordsWhatFlows();
    void controlRequests_data();
    void controlRequests();

private:
    // Records every open or close request emitted on the registered links.
    void watchRequests();

    std::unique_ptr<TMainWidget> window;
    QThread *worker = nullptr;
    QVector<Request> requests;
};

void TstMainWidget::initTestCase()
{
    // The program's font for Chinese texts (kit fonts are taken from the
    // application font when the kit is first used).
    QApplication::setFont(QFont(QStringLiteral("WenQuanYi Micro Hei")));
    worker = TApp::startWorkerThread();
    QCOMPARE(TApp::instance()->thread(), worker);
}

void TstMainWidget::cleanupTestCase()
{
    TApp::stopWorkerThread(worker);
    QCOMPARE(TApp::instance()->thread(), QThread::currentThread());
}

void TstMainWidget::init()
{
    QDir(QStringLiteral("cfg")).removeRecursively();
    QVERIFY(TLinkManager::instance()->linkMap().isEmpty());
    QVERIFY(TLinkManager::instance()->uavList().isEmpty());
    requests.clear();
    window.reset(new TMainWidget);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TstMainWidget::cleanup()
{
    // As main() does: stop every link while the window still exists.
    TLinkManager::instance()->shutdownAll();
    window.reset();
    QVERIFY(TLinkManager::instance()->linkMap().isEmpty());
    QVERIFY(TLinkManager::instance()->uavList().isEmpty());
    QDir(QStringLiteral("cfg")).removeRecursively();
}

void TstMainWidget::watchRequests()
{
    TLinkManager *registry = TLinkManager::instance();
    const QList<int> ids = registry->linkMap().keys();
    for (int linkId : ids) {
        IOHandler *link = registry->getLink(linkId);
        connect(
            link, &IOHandler::openDeviceSignal, this,
            [this, linkId](IOHandler::DeviceInfo device, bool isConFlag) {
                TIoForm *form = linkId == 5 ? window->groundStationForm()
                                            : window->openVehicleForms().value(linkId - 10);
                bool saved = false;
                if (form) {
                    QSettings s(kIni, QSettings::IniFormat);
                    s.beginGroup(form->getName());
                    saved = s.value("LocalPort").toString() == form->localPortEdit->text() &&
                            s.value("ConType").toString() == form->conTypeCombox->currentText();
                }
                requests.append(
                    {device.id, linkId, isConFlag, saved, QString::number(device.udp.localPort)});
            },
            Qt::DirectConnection);
    }
}

void TstMainWidget::startUp()
{
    TLinkManager *registry = TLinkManager::instance();
    QCOMPARE(window->windowTitle(), versionTitle());
    QVERIFY(window->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(window->groundStationForm()->getName(), QStringLiteral("Connect"));
    QCOMPARE(window->vehicleRows().size(), 1);
    QCOMPARE(window->openVehicleForms().first()->getName(), QStringLiteral("Con0"));
    QCOMPARE(registry->linkMap().keys(), (QList<int>{5, 10}));
    QCOMPARE(registry->uavList().size(), 1);
    QCOMPARE(static_cast<IOHandler *>(registry->uavList().first()), registry->getLink(10));
    QCOMPARE(registry->getLink(10)->getDevice().id, 10);
    QCOMPARE(registry->getLink(5)->getDevice().id, 5);
    QVERIFY(qobject_cast<TGcsPtl *>(registry->getLink(5)));
    QVERIFY(qobject_cast<TUavPtl *>(registry->getLink(10)));
    // Every link in a thread of its own, none opened.
    QThread *gcsThread = registry->getLink(5)->thread();
    QThread *uavThread = registry->getLink(10)->thread();
    QVERIFY(gcsThread != QThread::currentThread());
    QVERIFY(uavThread != QThread::currentThread());
    QVERIFY(gcsThread != uavThread);
    QCOMPARE(registry->getLink(5)->getDevice().conType, IOHandler::None);
    QCOMPARE(registry->getLink(10)->getDevice().conType, IOHandler::None);
    // Forms unlocked, "Id" only on vehicle buttons.
    QVERIFY(unlocked(window->groundStationForm()));
    QVERIFY(unlocked(window->openVehicleForms().first()));
    QCOMPARE(window->openVehicleForms().first()->connectBtn->property("Id"), QVariant(0));
    QCOMPARE(window->openVehicleForms().first()->disconnectBtn->property("Id"), QVariant(0));
    QVERIFY(!window->groundStationForm()->connectBtn->property("Id").isValid());
    QVERIFY(!window->groundStationForm()->disconnectBtn->property("Id").isValid());
    // Building the window writes no settings.
    QVERIFY(!QFile::exists(kIni));
}

void TstMainWidget::metaObject()
{
    const QMetaObject *mo = window->metaObject();
    QCOMPARE(QString::fromLatin1(mo->className()), QStringLiteral("TMainWidget"));
    QCOMPARE(QString::fromLatin1(mo->superClass()->className()), QStringLiteral("TWidget"));
    QStringList slotNames;
    for (int i = mo->methodOffset(); i < mo->methodCount(); ++i) {
        const QMetaMethod m = mo->method(i);
        QCOMPARE(m.methodType(), QMetaMethod::Slot);
        QCOMPARE(m.access(), QMetaMethod::Private);
        QCOMPARE(m.parameterCount(), 0);
        QCOMPARE(m.returnType(), int(QMetaType::Void));
        slotNames << QString::fromLatin1(m.methodSignature());
    }
    QCOMPARE(slotNames, (QStringList{"gcsConnectSlot()", "gcsDisconnectSlot()", "uavConnectSlot()",
                                     "uavDisConnectSlot()"}));
    QCOMPARE(mo->propertyCount(), mo->propertyOffset());
    QCOMPARE(mo->enumeratorCount(), mo->enumeratorOffset());
}

void TstMainWidget::layoutAndTexts()
{
    auto *mainLayout = qobject_cast<QVBoxLayout *>(window->layout());
    QVERIFY(mainLayout);
    QCOMPARE(mainLayout->count(), 3);
    auto *gcsBox = qobject_cast<QGroupBox *>(mainLayout->itemAt(0)->widget());
    auto *uavBox = qobject_cast<QGroupBox *>(mainLayout->itemAt(1)->widget());
    QVERIFY(gcsBox && uavBox);
    QVERIFY(gcsBox->title().isEmpty());
    QVERIFY(uavBox->title().isEmpty());
    auto *gcsTitle = qobject_cast<TLabel *>(gcsBox->layout()->itemAt(0)->widget());
    QVERIFY(gcsTitle);
    QCOMPARE(gcsTitle->text(), QStringLiteral("Gcs Port Setting"));
    QCOMPARE(gcsBox->layout()->itemAt(0)->alignment(), Qt::AlignCenter);
    auto *gcsRow = qobject_cast<TLinkRow *>(gcsBox->layout()->itemAt(1)->widget());
    QVERIFY(gcsRow);
    QCOMPARE(gcsRow->form(), window->groundStationForm());
    auto *uavTitle = qobject_cast<TLabel *>(uavBox->layout()->itemAt(0)->widget());
    QVERIFY(uavTitle);
    QCOMPARE(uavTitle->text(), QStringLiteral("Uav Port Setting"));
    QCOMPARE(uavBox->layout()->itemAt(1)->widget(),
             static_cast<QWidget *>(window->vehicleRowList()));
    QLayout *buttons = mainLayout->itemAt(2)->layout();
    QVERIFY(qobject_cast<QHBoxLayout *>(buttons));
    // The four with the add count beside its button, then "Record" and "Radio…".
    QCOMPARE(buttons->count(), 7);
    QCOMPARE(buttons->itemAt(3)->widget(), static_cast<QWidget *>(window->addCountBox()));
    QCOMPARE(window->addCountBox()->value(), 1);
    QCOMPARE(buttons->itemAt(5)->widget(), static_cast<QWidget *>(window->recorder()));
    auto *radio = qobject_cast<TRadioButton *>(buttons->itemAt(6)->widget());
    QVERIFY(radio);
    QCOMPARE(radio->button()->text(), QStringLiteral("Radio…"));
    const QStringList texts{QStringLiteral("全部连接"), QStringLiteral("全部断开"),
                            QStringLiteral("增加无人机"), QStringLiteral("删除无人机")};
    const QList<TPushButton *> expected{window->connectAllButton(), window->disconnectAllButton(),
                                        window->addUavButton(), window->delUavButton()};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(buttons->itemAt(i < 3 ? i : 4)->widget(), static_cast<QWidget *>(expected.at(i)));
        QCOMPARE(expected.at(i)->text(), texts.at(i));
        QCOMPARE(expected.at(i)->height(), 40);
    }
}

void TstMainWidget::paintsDarkBackground()
{
    window->grab();
    const QImage image = window->grab().toImage();
    QVERIFY(window->autoFillBackground());
    QCOMPARE(QColor(image.pixel(1, 1)), QColor(0x22, 0x22, 0x22));
    QCOMPARE(QColor(image.pixel(image.width() - 2, image.height() - 2)), QColor(0x22, 0x22, 0x22));
}

void TstMainWidget::threeAddsGiveCon1ToCon3()
{
    TLinkManager *registry = TLinkManager::instance();
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(window->addUavButton(), Qt::LeftButton);
    const QVector<TIoForm *> &forms = window->openVehicleForms();
    QCOMPARE(forms.size(), 4);
    QCOMPARE(registry->linkMap().keys(), (QList<int>{5, 10, 11, 12, 13}));
    QCOMPARE(registry->uavList().size(), 4);
    QLayout *section = window->vehicleRowList()->rowLayout();
    for (int n = 0; n < 4; ++n) {
        QCOMPARE(forms.at(n)->getName(), QStringLiteral("Con%1").arg(n));
        QCOMPARE(forms.at(n)->connectBtn->property("Id"), QVariant(n));
        QCOMPARE(forms.at(n)->disconnectBtn->property("Id"), QVariant(n));
        QCOMPARE(registry->getLink(10 + n)->getDevice().id, 10 + n);
        QCOMPARE(static_cast<IOHandler *>(registry->uavList().at(n)), registry->getLink(10 + n));
        QVERIFY(registry->getLink(10 + n)->thread() != QThread::currentThread());
        // The rows in list order, each holding its form.
        QCOMPARE(section->itemAt(n)->widget(), forms.at(n)->parentWidget());
        QVERIFY(unlocked(forms.at(n)));
    }
}

void TstMainWidget::deleteRemovesLastAndReAddRestores()
{
    TLinkManager *registry = TLinkManager::instance();
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(window->addUavButton(), Qt::LeftButton);
    TIoForm *con3 = window->openVehicleForms().at(3);
    makeUnicast(con3);
    const QString savedPort = con3->localPortEdit->text();
    // Connect saves the group Con3 and opens the link (on a free port).
    QTest::mouseClick(con3->connectBtn, Qt::LeftButton);
    QTRY_VERIFY(locked(con3));
    QCOMPARE(registry->getLink(13)->getDevice().conType, IOHandler::UdpUnicast);
    // Figures counted and reset from: the vehicle added later under the
    // same id must start from zero, not from this baseline.
    relaytest::UdpPeer peer;
    QVERIFY2(peer.bindLocal(), qPrintable(peer.socket.errorString()));
    peer.sendTo(quint16(savedPort.toUInt()), "counted");
    QTRY_COMPARE(window->relay().counters(13).rxBlocks, quint64(1));
    window->relay().resetCounters(13);
    window->counters()->refresh();

    QPointer<TIoForm> oldForm(con3);
    QPointer<IOHandler> oldLink(registry->getLink(13));
    QTest::mouseClick(window->delUavButton(), Qt::LeftButton);
    QCOMPARE(window->vehicleRows().size(), 3);
    QCOMPARE(window->openVehicleForms().last()->getName(), QStringLiteral("Con2"));
    QCOMPARE(registry->linkMap().keys(), (QList<int>{5, 10, 11, 12}));
    QCOMPARE(registry->uavList().size(), 3);
    QCOMPARE(static_cast<IOHandler *>(registry->uavList().last()), registry->getLink(12));
    // The form and the link are deleted later, the link in its own thread.
    QTRY_VERIFY(oldForm.isNull());
    QTRY_VERIFY(oldLink.isNull());
    // Its group stays in the file (each add stored its row); deletion
    // stores only the new count.
    {
        QSettings s(kIni, QSettings::IniFormat);
        QCOMPARE(s.childGroups(), (QStringList{QStringLiteral("Con1"), QStringLiteral("Con2"),
                                               QStringLiteral("Con3"), QStringLiteral("Window")}));
        QCOMPARE(s.value("Window/Vehicles").toInt(), 3);
        QCOMPARE(s.value("Con3/LocalPort").toString(), savedPort);
    }

    QTest::mouseClick(window->addUavButton(), Qt::LeftButton);
    QCOMPARE(window->vehicleRows().size(), 4);
    TIoForm *again = window->openVehicleForms().at(3);
    QCOMPARE(again->getName(), QStringLiteral("Con3"));
    QCOMPARE(again->connectBtn->property("Id"), QVariant(3));
    QCOMPARE(again->getConType(), 2);
    QCOMPARE(again->localPortEdit->text(), savedPort);
    QVERIFY(unlocked(again));
    QCOMPARE(registry->linkMap().keys(), (QList<int>{5, 10, 11, 12, 13}));
    QCOMPARE(registry->getLink(13)->getDevice().id, 13);
    QCOMPARE(registry->getLink(13)->getDevice().conType, IOHandler::None);
    QCOMPARE(static_cast<IOHandler *>(registry->uavList().last()), registry->getLink(13));
    TLinkMonitor::Sample fresh;
    QVERIFY(window->relay().sample(13, 0, fresh));
    QCOMPARE(fresh.counts.rxBlocks, quint64(0));

    // The new vehicle can be opened on the port its predecessor released.
    QTest::mouseClick(again->connectBtn, Qt::LeftButton);
    QTRY_VERIFY(locked(again));
}

void TstMainWidget::deleteWithOneVehicleDoesNothing()
{
    TLinkManager *registry = TLinkManager::instance();
    TIoForm *only = window->openVehicleForms().first();
    IOHandler *link = registry->getLink(10);
    QTest::mouseClick(window->delUavButton(), Qt::LeftButton);
    QTest::qWait(50);
    QCOMPARE(window->vehicleRows().size(), 1);
    QCOMPARE(window->openVehicleForms().first(), only);
    QCOMPARE(registry->linkMap().keys(), (QList<int>{5, 10}));
    QCOMPARE(registry->getLink(10), link);
    QCOMPARE(registry->uavList().size(), 1);
    // Add one and delete twice: back to one, the second press does nothing.
    QTest::mouseClick(window->addUavButton(), Qt::LeftButton);
    QTest::mouseClick(window->delUavButton(), Qt::LeftButton);
    QTest::mouseClick(window->delUavButton(), Qt::LeftButton);
    QCOMPARE(window->vehicleRows().size(), 1);
    QCOMPARE(registry->linkMap().keys(), (QList<int>{5, 10}));
    QCOMPARE(registry->getLink(10), link);
}

void TstMainWidget::connectAllAndDisconnectAll()
{
    QTest::mouseClick(window->addUavButton(), Qt::LeftButton);
    QTest::mouseClick(window->addUavButton(), Qt::LeftButton);
    const QList<TIoForm *> forms = windowtest::allForms(window.get());
    QCOMPARE(forms.size(), 4);
    for (TIoForm *f : forms)
        makeUnicast(f);
    watchRequests();

    QTest::mouseClick(window->connectAllButton(), Qt::LeftButton);
    QCOMPARE(requests.size(), 4);
    const QList<int> order{5, 10, 11, 12};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(requests.at(i).id, order.at(i));
        QCOMPARE(requests.at(i).linkId, order.at(i));
        QVERIFY(requests.at(i).isConFlag);
        QVERIFY2(requests.at(i).savedFirst, "the form did not save before the request");
        QCOMPARE(requests.at(i).localPort, forms.at(i)->localPortEdit->text());
    }
    {
        QSettings s(kIni, QSettings::IniFormat);
        QStringList groups = s.childGroups();
        groups.sort();
        QCOMPARE(groups, (QStringList{"Con0", "Con1", "Con2", "Connect", "Window"}));
    }
    for (TIoForm *f : forms)
        QTRY_VERIFY(locked(f));
    for (int id : order)
        QCOMPARE(TLinkManager::instance()->getLink(id)->getDevice().conType, IOHandler::UdpUnicast);

    QFile file(kIni);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    requests.clear();
    QTest::mouseClick(window->disconnectAllButton(), Qt::LeftButton);
    QCOMPARE(requests.size(), 4);
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(requests.at(i).id, order.at(i));
        QVERIFY(!requests.at(i).isConFlag);
    }
    for (TIoForm *f : forms)
        QTRY_VERIFY(unlocked(f));
    for (int id : order)
        QTRY_COMPARE(TLinkManager::instance()->getLink(id)->getDevice().conType, IOHandler::None);
    // Disconnecting writes nothing.
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
}

void TstMainWidget::singleFormConnectAndDisconnect()
{
    QTest::mouseClick(window->addUavButton(), Qt::LeftButton);
    TLinkRow *row = window->vehicleRows().at(1);
    // Opened by its arrow as an operator does; its line follows the form.
    QVERIFY(!row->builtForm());
    QTest::mouseClick(row->openButton(), Qt::LeftButton);
    QVERIFY(row->isOpened());
    TIoForm *con1 = row->builtForm();
    QVERIFY(con1 && con1->isVisible());
    makeUnicast(con1);
    const QString port = con1->localPortEdit->text();
    QVERIFY(row->endpointLabel()->fullText().startsWith(QStringLiteral("127.0.0.1:") + port));
    QTest::mouseClick(row->openButton(), Qt::LeftButton);
    QVERIFY(!con1->isVisible());
    watchRequests();
    QTest::mouseClick(row->connectButton(), Qt::LeftButton);
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.first().linkId, 11);
    QCOMPARE(requests.first().id, 11);
    QVERIFY(requests.first().isConFlag);
    QVERIFY(requests.first().savedFirst);
    QTRY_VERIFY(locked(con1));
    QCOMPARE(TLinkManager::instance()->getLink(11)->getDevice().udp.localPort, port.toUShort());
    QVERIFY(unlocked(window->openVehicleForms().at(0)));
    QVERIFY(unlocked(window->groundStationForm()));

    requests.clear();
    QTest::mouseClick(con1->disconnectBtn, Qt::LeftButton);
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.first().linkId, 11);
    QVERIFY(!requests.first().isConFlag);
    QTRY_VERIFY(unlocked(con1));

    // The ground-station form's buttons reach link 5 only.
    makeUnicast(window->groundStationForm());
    requests.clear();
    QTest::mouseClick(window->groundStationForm()->connectBtn, Qt::LeftButton);
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.first().linkId, 5);
    QCOMPARE(requests.first().id, 5);
    QTRY_VERIFY(locked(window->groundStationForm()));
    requests.clear();
    QTest::mouseClick(window->groundStationForm()->disconnectBtn, Qt::LeftButton);
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.first().linkId, 5);
    QVERIFY(!requests.first().isConFlag);
    QTRY_VERIFY(unlocked(window->groundStationForm()));
}

void TstMainWidget::eventsLockAndUnlockByRecordId_data()
{
    QTest::addColumn<int>("event");
    QTest::addColumn<int>("idArgument");
    QTest::addColumn<int>("recordId");
    QTest::addColumn<int>("lockedForm"); // -1 ground station, -2 none, else vehicle index
    QTest::newRow("3 with record 11, argument 99") << 3 << 99 << 11 << 1;
    QTest::newRow("3 with record 5") << 3 << 10 << 5 << -1;
    QTest::newRow("3 with record 10") << 3 << 0 << 10 << 0;
    QTest::newRow("3 with record 12") << 3 << 12 << 12 << 2;
    QTest::newRow("3 with record 9") << 3 << 10 << 9 << -2;
    QTest::newRow("3 with record 0") << 3 << 10 << 0 << -2;
    QTest::newRow("3 with record 13 (10 + N)") << 3 << 13 << 13 << -2;
    QTest::newRow("3 with record -1") << 3 << 10 << -1 << -2;
    QTest::newRow("2 with record 11") << 2 << 11 << 11 << -2;
    QTest::newRow("1 with record 11") << 1 << 11 << 11 << -2;
    QTest::newRow("6 (waiting) with record 11") << 6 << 11 << 11 << 1;
    QTest::newRow("7 with record 11") << 7 << 11 << 11 << -2;
}

void TstMainWidget::eventsLockAndUnlockByRecordId()
{
    QFETCH(int, event);
    QFETCH(int, idArgument);
    QFETCH(int, recordId);
    QFETCH(int, lockedForm);
    QTest::mouseClick(window->addUavButton(), Qt::LeftButton);
    QTest::mouseClick(window->addUavButton(), Qt::LeftButton);
    const QList<TIoForm *> forms = windowtest::allForms(window.get());

    emit TApp::instance()->TAppEvent(event, idArgument,
                                     QVariant::fromValue(recordWithId(recordId)));
    // Emitted here in the GUI thread the event reaches the window at once;
    // from a link thread it arrives queued (see eventsFromRealLinks).
    QTest::qWait(20);
    for (int i = 0; i < forms.size(); ++i) {
        const bool shouldLock =
            (lockedForm == -1 && i == 0) || (lockedForm >= 0 && i == lockedForm + 1);
        QTRY_COMPARE(locked(forms.at(i)), shouldLock);
        QCOMPARE(unlocked(forms.at(i)), !shouldLock);
    }
    if (lockedForm == -2)
        return;
    TIoForm *target = lockedForm == -1 ? forms.first() : forms.at(lockedForm + 1);
    // An error event leaves the locked form locked.
    emit TApp::instance()->TAppEvent(2, recordId, QVariant(QStringLiteral("rec udp error")));
    emit TApp::instance()->TAppEvent(2, recordId, QVariant::fromValue(recordWithId(recordId)));
    QTest::qWait(20);
    QVERIFY(locked(target));
    // 4 (open failed) unlocks; 3 locks again; 5 (closed) unlocks.
    emit TApp::instance()->TAppEvent(4, 0, QVariant::fromValue(recordWithId(recordId)));
    QTRY_VERIFY(unlocked(target));
    emit TApp::instance()->TAppEvent(3, 0, QVariant::fromValue(recordWithId(recordId)));
    QTRY_VERIFY(locked(target));
    emit TApp::instance()->TAppEvent(5, 0, QVariant::fromValue(recordWithId(recordId)));
    QTRY_VERIFY(unlocked(target));
    // A variant that holds no record is record id 0: dropped.
    emit TApp::instance()->TAppEvent(3, recordId, QVariant(0));
    emit TApp::instance()->TAppEvent(3, recordId);
    QTest::qWait(20);
    QVERIFY(unlocked(target));
}

void TstMainWidget::eventsFromRealLinks()
{
    // Five rows whose port is already taken, connected all at once: every
    // link reports event 4, which leaves its form unlocked, and the
    // operator gets one self-closing box with a line a row. A real open
    // then locks a form.
    QUdpSocket taken;
    QVERIFY(taken.bind(QHostAddress(QHostAddress::LocalHost), 0));
    const QString port = QString::number(taken.localPort());
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(window->addUavButton(), Qt::LeftButton);
    const QList<TIoForm *> forms = windowtest::allForms(window.get());
    QStringList lines;
    for (TIoForm *f : forms) {
        makeUnicast(f);
        f->localPortEdit->setText(port);
        const QString row =
            lines.isEmpty() ? QStringLiteral("Gcs") : QStringLiteral("Uav %1").arg(lines.size());
        // The port is taken by a stranger; a row opening while another row
        // tries the same port may be told of that row instead.
        lines << "^" + row + ": (rec udp error: 127\\.0\\.0\\.1:" + port +
                     " is already in use|127\\.0\\.0\\.1:" + port +
                     " is already used by (Gcs|Uav \\d))$";
    }
    QCOMPARE(lines.size(), 5);
    linktest::EventLog log;
    windowtest::BoxWatcher boxes(false);

    QTest::mouseClick(window->connectAllButton(), Qt::LeftButton);
    const QList<int> ids{5, 10, 11, 12, 13};
    const auto outcome = [&log](int id) {
        const QVector<int> codes = log.codes(id);
        return codes.contains(IOHandler::LinkOpened) ? 3 : codes.contains(4) ? 4 : 0;
    };
    for (int id : ids)
        QTRY_VERIFY(outcome(id) != 0);
    for (int id : ids)
        if (outcome(id) == IOHandler::LinkOpened)
            QSKIP("this system let two sockets bind the same unicast port");
    for (int id : ids)
        QCOMPARE(log.codes(id), (QVector<int>{IOHandler::LinkError, IOHandler::LinkOpenFailed}));
    const auto boxShowsAll = [&] {
        if (boxes.texts().size() != 1)
            return false;
        const QStringList shown = boxes.texts().first().split(QLatin1Char('\n'));
        if (shown.size() != lines.size())
            return false;
        for (int i = 0; i < lines.size(); ++i)
            if (!QRegularExpression(lines.at(i)).match(shown.at(i)).hasMatch())
                return false;
        return true;
    };
    QTRY_VERIFY2(boxShowsAll(), qPrintable(boxes.texts().join(QLatin1String(" | "))));
    QCOMPARE(boxes.seen.first().icon, QMessageBox::Warning);
    // It closes itself two seconds after its last line.
    QTRY_COMPARE_WITH_TIMEOUT(windowtest::BoxWatcher::open(), 0, 10000);
    QCOMPARE(boxes.seen.size(), 1);
    for (TIoForm *f : forms)
        QVERIFY(unlocked(f));
    TIoForm *con0 = forms.at(1);
    QCOMPARE(con0->localPortEdit->text(), port);
    // Settings were written all the same.
    QSettings s(kIni, QSettings::IniFormat);
    QCOMPARE(s.value("Con0/LocalPort").toString(), port);

    makeUnicast(con0);
    QTest::mouseClick(con0->connectBtn, Qt::LeftButton);
    QTRY_VERIFY(locked(con0));
}

void TstMainWidget::uavSlotsIgnoreInvalidSenders_data()
{
    QTest::addColumn<bool>("setId");
    QTest::addColumn<QVariant>("idValue");
    QTest::addColumn<int>("expectedLink"); // 0: no request
    QTest::newRow("no Id property") << false << QVariant() << 0;
    QTest::newRow("Id -1") << true << QVariant(-1) << 0;
    QTest::newRow("Id 2 (list size)") << true << QVariant(2) << 0;
    QTest::newRow("Id 7") << true << QVariant(7) << 0;
    QTest::newRow("Id text") << true << QVariant(QStringLiteral("abc")) << 0;
    QTest::newRow("Id 1 (valid)") << true << QVariant(1) << 11;
    QTest::newRow("Id 0 (valid)") << true << QVariant(0) << 10;
}

void TstMainWidget::uavSlotsIgnoreInvalidSenders()
{
    QFETCH(bool, setId);
    QFETCH(QVariant, idValue);
    QFETCH(int, expectedLink);
    QTest::mouseClick(window->addUavButton(), Qt::LeftButton);
    for (TIoForm *f : window->openVehicleForms())
        makeUnicast(f);
    watchRequests();

    QPushButton stranger;
    if (setId)
        stranger.setProperty("Id", idValue);
    // Connected by signature, as any object could be.
    QVERIFY(connect(&stranger, SIGNAL(released()), window.get(), SLOT(uavConnectSlot())));
    QVERIFY(connect(&stranger, SIGNAL(pressed()), window.get(), SLOT(uavDisConnectSlot())));
    emit stranger.released();
    emit stranger.pressed();
    if (expectedLink == 0) {
        QCOMPARE(requests.size(), 0);
    } else {
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests.at(0).linkId, expectedLink);
        QCOMPARE(requests.at(0).id, expectedLink);
        QVERIFY(requests.at(0).isConFlag);
        QCOMPARE(requests.at(1).linkId, expectedLink);
        QVERIFY(!requests.at(1).isConFlag);
    }
}

void TstMainWidget::uavSlotWithoutSender()
{
    watchRequests();
    // The slots are private: reach them through the window's meta-object.
    const QMetaObject *meta = window->metaObject();
    const auto slot = [meta](const char *signature) {
        return meta->method(meta->indexOfSlot(signature));
    };
    QVERIFY(slot("uavConnectSlot()").invoke(window.get()));
    QVERIFY(slot("uavDisConnectSlot()").invoke(window.get()));
    QVERIFY(slot("uavConnectSlot()").invoke(window.get(), Qt::QueuedConnection));
    QTest::qWait(20);
    QCOMPARE(requests.size(), 0);
    // The ground-station slots need no sender.
    QVERIFY(slot("gcsDisconnectSlot()").invoke(window.get()));
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.first().linkId, 5);
    QVERIFY(!requests.first().isConFlag);
    QTRY_VERIFY(unlocked(window->groundStationForm()));
}

void TstMainWidget::gcsSlotWithoutLink()
{
    // With no ground-station link registered, its buttons do nothing.
    QPointer<IOHandler> gcs(TLinkManager::instance()->getLink(5));
    QVERIFY(TLinkManager::instance()->removeLink(5));
    QVERIFY(!TLinkManager::instance()->getLink(5));
    QTest::mouseClick(window->groundStationForm()->disconnectBtn, Qt::LeftButton);
    window->groundStationForm()->setConFlag(false);
    makeUnicast(window->groundStationForm());
    QTest::mouseClick(window->groundStationForm()->connectBtn, Qt::LeftButton);
    QTest::qWait(50);
    QVERIFY(unlocked(window->groundStationForm()));
    // The form still saved its group.
    QVERIFY(QSettings(kIni, QSettings::IniFormat).childGroups().contains("Connect"));
    QTRY_VERIFY(gcs.isNull());
}

void TstMainWidget::windowFit_data()
{
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<bool>("sized");
    QTest::addColumn<QSize>("wanted");
    QTest::addColumn<int>("grow");
    QTest::addColumn<QRect>("fitted");
    const QSize rows200(1100, 7000);
    // A 1280x800 screen less a 30 px panel; a 24 px title bar and 4 px borders.
    QTest::newRow("fresh, 200 rows: as tall as the screen")
        << QRect(0, 0, 100, 100) << false << rows200 << 1 << QRect(4, 58, 1100, 738);
    QTest::newRow("fresh, 1 row: small")
        << QRect(10, 60, 100, 100) << false << QSize(1100, 300) << 1 << QRect(10, 60, 1100, 300);
    QTest::newRow("stored 300 px, 2 rows want 420: grown")
        << QRect(20, 100, 1150, 300) << true << QSize(1100, 420) << 1 << QRect(20, 100, 1150, 420);
    QTest::newRow("stored taller than wanted: kept")
        << QRect(20, 100, 1150, 600) << true << QSize(1100, 420) << 1 << QRect(20, 100, 1150, 600);
    QTest::newRow("stored wider and taller than the screen, off it")
        << QRect(900, 700, 1900, 1200) << true << rows200 << 1 << QRect(4, 58, 1272, 738);
    QTest::newRow("kept height, narrower than the least width")
        << QRect(0, 40, 500, 300) << true << rows200 << 0 << QRect(4, 58, 1000, 300);
}

void TstMainWidget::windowFit()
{
    QFETCH(QRect, geometry);
    QFETCH(bool, sized);
    QFETCH(QSize, wanted);
    QFETCH(int, grow);
    TWindowFit::Window w;
    w.geometry = geometry;
    w.sized = sized;
    w.wanted = wanted;
    w.minimum = QSize(1000, 200);
    w.frame = TWindowFit::estimatedFrame(24);
    const QRect screen(0, 30, 1280, 770);
    QTEST(TWindowFit::fitted(w, screen, grow ? TWindowFit::Height::Grow : TWindowFit::Height::Keep,
                             true),
          "fitted");
}

// 200 vehicles added in one step: one line each, nothing built beneath
// them, every line's name, live line and Connect inside the window, the
// ground station, the buttons and the last row in sight.
void TstMainWidget::swarmFitsTheScreen()
{
    const QRect screen = window->screen()->availableGeometry();
    windowtest::setUnicast(window->openVehicleForms().first(), 7300, 9300);
    window->addCountBox()->setValue(199);
    QTest::mouseClick(window->addUavButton(), Qt::LeftButton);
    const QVector<TLinkRow *> &rows = window->vehicleRows();
    QCOMPARE(rows.size(), 200);
    QVERIFY(window->frameGeometry().height() <= screen.height());
    QVERIFY2(window->minimumSizeHint().width() <= 1200,
             qPrintable(QString::number(window->minimumSizeHint().width())));
    TLinkRow *gcsRow = window->groundStationRow();
    for (QWidget *w : std::initializer_list<QWidget *>{
             gcsRow, window->connectAllButton(), window->disconnectAllButton(),
             window->addUavButton(), window->delUavButton()})
        QVERIFY2(windowtest::inSight(w, window.get()), w->metaObject()->className());
    QTRY_VERIFY(windowtest::inSight(rows.last(), window->vehicleRowList()->viewport()));
    QCOMPARE(gcsRow->nameLabel()->text(), QStringLiteral("Gcs"));
    QSet<QString> ports;
    for (int n = 0; n < rows.size(); ++n) {
        TLinkRow *row = rows.at(n);
        QCOMPARE(row->nameLabel()->text(), QStringLiteral("Uav %1").arg(n + 1));
        QVERIFY(row->nameLabel()->toolTip().contains(QString::number(10 + n)));
        QCOMPARE(row->builtForm() != nullptr, n == 0);
        for (QWidget *w : std::initializer_list<QWidget *>{row->nameLabel(), row->statusLabel(),
                                                           row->connectButton()}) {
            const QRect where(w->mapTo(window.get(), QPoint(0, 0)), w->size());
            QVERIFY(where.left() >= 0 && where.right() < window->width());
        }
        // The new-row rule, one row after another.
        QCOMPARE(row->values().localPort, QString::number(7300 + n));
        ports << row->values().localPort << row->values().remotePort;
        QCOMPARE(row->endpointLabel()->fullText(),
                 QStringLiteral("127.0.0.1:%1 \u2192 127.0.0.1:%2").arg(7300 + n).arg(9300 + n));
    }
    QCOMPARE(ports.size(), 400);
    // Stored in the one step, before any Connect.
    QCOMPARE(QSettings(kIni, QSettings::IniFormat).value("Con199/LocalPort").toString(),
             QStringLiteral("7499"));
}

void TstMainWidget::fieldsFitAtNarrowestWidth()
{
    windowtest::chooseType(window->groundStationForm(), windowtest::unicastText());
    windowtest::chooseType(window->openVehicleForms().first(), windowtest::multicastText());
    window->resize(1, window->height());
    QCOMPARE(window->width(), window->minimumWidth());
    for (TIoForm *form : {window->groundStationForm(), window->openVehicleForms().first()}) {
        for (TLabelLineEdit *edit : {form->localIpEdit, form->remoteIpEdit, form->groupIpEdit}) {
            edit->setText(QStringLiteral("255.255.255.255"));
            if (edit->isVisible())
                QVERIFY2(windowtest::showsWhole(edit->lineEdit()), qPrintable(edit->text()));
        }
        for (TLabelLineEdit *edit :
             {form->localPortEdit, form->remotePortEdit, form->groupPortEdit}) {
            edit->setText(QStringLiteral("65535"));
            if (edit->isVisible())
                QVERIFY(windowtest::showsWhole(edit->lineEdit()));
        }
        for (QPushButton *button : {form->connectBtn, form->disconnectBtn})
            QVERIFY(button->width() >
                    QFontMetrics(button->font()).horizontalAdvance(button->text()));
    }
}

// With no settings file, unicast on the first two rows and vehicles added
// one after another: every port differs and every link opens.
void TstMainWidget::defaultPortsConnect()
{
    windowtest::chooseType(window->groundStationForm(), windowtest::unicastText());
    windowtest::chooseType(window->openVehicleForms().first(), windowtest::unicastText());
    for (int n = 0; n < 3; ++n)
        QTest::mouseClick(window->addUavButton(), Qt::LeftButton);
    QVector<TIoForm *> forms = window->openVehicleForms();
    forms.prepend(window->groundStationForm());
    QSet<QString> ports;
    for (TIoForm *form : forms) {
        QCOMPARE(form->getConType(), int(IOHandler::UdpUnicast));
        ports << form->localPortEdit->text() << form->remotePortEdit->text();
        QUdpSocket probe;
        if (!probe.bind(QHostAddress::LocalHost, form->localPortEdit->text().toUShort()))
            QSKIP("a default port is taken on this machine");
    }
    QCOMPARE(ports.size(), 10);
    QTest::mouseClick(window->connectAllButton(), Qt::LeftButton);
    for (TIoForm *form : forms)
        QTRY_VERIFY(locked(form));
}

void TstMainWidget::storedSwarmComesBack()
{
    window->resize(window->width(), 500);
    const QByteArray geometry = window->saveGeometry();
    {
        QSettings s(kIni, QSettings::IniFormat);
        s.setValue("Window/Vehicles", 12);
        s.setValue("Window/Geometry", geometry);
        for (int n = 0; n < 12; ++n) {
            s.setValue(QStringLiteral("Con%1/ConType").arg(n), kUnicast);
            s.setValue(QStringLiteral("Con%1/LocalPort").arg(n), QString::number(8100 + n));
        }
    }
    TLinkManager::instance()->shutdownAll();
    window.reset(new TMainWidget);
    QCOMPARE(window->vehicleRows().size(), 12);
    QCOMPARE(TLinkManager::instance()->uavList().size(), 12);
    for (int n = 0; n < 12; ++n) {
        QCOMPARE(window->openVehicleForms().at(n)->getConType(), int(IOHandler::UdpUnicast));
        QCOMPARE(window->openVehicleForms().at(n)->localPortEdit->text(),
                 QString::number(8100 + n));
    }
    // At least as high as it was left: the rows want more of the screen.
    QVERIFY(window->height() >= 500);
    QVERIFY(window->frameGeometry().height() <= window->screen()->availableGeometry().height());

    // What the operator typed and never connected comes back after a close.
    windowtest::typeInto(window->openVehicleForms().at(5)->localPortEdit, QStringLiteral("8200"));
    windowtest::chooseType(window->openVehicleForms().at(6), windowtest::multicastText());
    window->close();
    TLinkManager::instance()->shutdownAll();
    window.reset(new TMainWidget);
    QCOMPARE(window->vehicleRows().at(5)->values().localPort, QStringLiteral("8200"));
    QCOMPARE(TLinkSettings::kindOf(window->vehicleRows().at(6)->values().conType),
             IOHandler::UdpMulticast);
    QCOMPARE(window->vehicleRows().at(7)->values().localPort, QStringLiteral("8107"));
}

// A file a script made for the relay without a window, named as --config
// names it: its kinds in script words, its vehicle count and its port step,
// which a row added by hand keeps to.
void TstMainWidget::scriptedSwarmFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("swarm/app.ini"));
    TSwarmFile::Plan plan;
    plan.vehicles = 3;
    plan.basePort = 8100;
    plan.stride = 10;
    QString error;
    QVERIFY2(TSwarmFile::write(path, plan, error), qPrintable(error));
    TLinkManager::instance()->shutdownAll();
    window.reset();
    TFormSettings::setPath(path);
    window.reset(new TMainWidget);
    const auto restore = qScopeGuard([] { TFormSettings::setPath(kIni); });
    QCOMPARE(window->vehicleRows().size(), 3);
    QTest::mouseClick(window->addUavButton(), Qt::LeftButton);
    const QVector<TIoForm *> &forms = window->openVehicleForms();
    QCOMPARE(forms.size(), 4);
    for (int n = 0; n < 4; ++n) {
        QCOMPARE(forms.at(n)->getConType(), int(IOHandler::UdpUnicast));
        QCOMPARE(forms.at(n)->localPortEdit->text(), QString::number(8110 + 10 * n));
        QCOMPARE(forms.at(n)->remotePortEdit->text(), QString::number(9010 + 10 * n));
        QVERIFY(forms.at(n)->refusals().isEmpty());
    }
    QVERIFY(!QFile::exists(kIni));
}

// "Radio…" puts the file in force, remembers it for the next start, and
// turns the radio off when pressed again.
void TstMainWidget::radioButtonRemembersItsFile()
{
    QTemporaryDir dir;
    const QString radioPath =
        radioFile(dir, R"({"links": [{"from": "gcs", "to": "*", "profile": "down"}]})");
    QVERIFY(!radioPath.isEmpty());
    const auto cleanUp = qScopeGuard([] { QFile::remove(kIni); });
    {
        TRelaySession session;
        TRadioButton button(session);
        QCOMPARE(button.button()->text(), QStringLiteral("Radio…"));
        QVERIFY(button.load(radioPath));
        QVERIFY(TRadio::active());
    }
    QVERIFY(!TRadio::active());
    QCOMPARE(QSettings(kIni, QSettings::IniFormat).value("Radio/File").toString(), radioPath);
    TRelaySession session;
    TRadioButton button(session);
    QCOMPARE(button.button()->text(), QStringLiteral("Radio on"));
    QVERIFY(button.button()->toolTip().contains(radioPath));
    QVERIFY(TRadio::active());
    QTest::mouseClick(button.button(), Qt::LeftButton);
    QVERIFY(!TRadio::active());
    QCOMPARE(button.button()->text(), QStringLiteral("Radio…"));
    QVERIFY(!QSettings(kIni, QSettings::IniFormat).contains("Radio/File"));
}

// A row marks its link while a radio rule names it, and only then.
void TstMainWidget::rowsMarkLinksWithRadioRules()
{
    QTemporaryDir dir;
    const QString radioPath =
        radioFile(dir, R"({"links": [{"from": "uav2", "to": "*", "profile": "down"}]})");
    QVERIFY(!radioPath.isEmpty());
    const auto cleanUp = qScopeGuard([] { QFile::remove(kIni); });
    windowtest::Window window;
    window.addVehicle();
    const auto marks = [&] {
        QList<bool> shown{window->groundStationRow()->radioMarked()};
        for (const TLinkRow *row : window->vehicleRows())
            shown.append(row->radioMarked());
        return shown;
    };
    QCOMPARE(marks(), (QList<bool>{false, false, false}));
    QString error;
    QVERIFY2(window->relay().loadRadio(radioPath, error), qPrintable(error));
    window->counters()->refresh();
    QCOMPARE(marks(), (QList<bool>{false, false, true}));
    window->relay().unloadRadio();
    window->counters()->refresh();
    QCOMPARE(marks(), (QList<bool>{false, false, false}));
}

// One file, one swarm: the relay without a window reads as many vehicles
// from it as the window builds rows.
void TstMainWidget::windowAndHeadlessAgree()
{
    if (testsupport::appBinary().isEmpty())
        QSKIP("RELAY_APP_BINARY does not name the built program");
    {
        QSettings s(kIni, QSettings::IniFormat);
        s.setValue("Window/Vehicles", 4);
        for (const char *group : {"Connect", "Con0", "Con1"})
            s.setValue(QStringLiteral("%1/ConType").arg(QLatin1String(group)), kUnicast);
    }
    TLinkManager::instance()->shutdownAll();
    window.reset(new TMainWidget);
    QCOMPARE(window->vehicleRows().size(), 4);
    QProcess check;
    check.start(testsupport::appBinary(), {"--check-config", kIni});
    QVERIFY(check.waitForFinished(20000));
    const QString out = QString::fromLocal8Bit(check.readAllStandardOutput());
    QCOMPARE(out.count(QRegularExpression(QStringLiteral("^uav\\d+ "),
                                          QRegularExpression::MultilineOption)),
             4);
}

void TstMainWidget::screenshot()
{
    // A swarm of 20 on every kind of endpoint; the ground station and three
    // vehicles on unicast with data flowing, one serial row that fails.
    for (int n = 1; n < 20; ++n)
        QTest::mouseClick(window->addUavButton(), Qt::LeftButton);
    relaytest::UdpPeer gcsPeer, uavPeers[3];
    QVERIFY(gcsPeer.bindLocal());
    const quint16 gcsLink = testsupport::freeUdpPort();
    windowtest::setUnicast(window->groundStationForm(), gcsLink, gcsPeer.port());
    QTest::mouseClick(window->groundStationForm()->connectBtn, Qt::LeftButton);
    for (int n = 0; n < 3; ++n) {
        QVERIFY(uavPeers[n].bindLocal());
        TIoForm *form = window->openVehicleForms().at(n);
        windowtest::setUnicast(form, testsupport::freeUdpPort(), uavPeers[n].port());
        QTest::mouseClick(form->connectBtn, Qt::LeftButton);
        QTRY_VERIFY(windowtest::locked(form));
    }
    for (int n = 3; n < 20; ++n)
        windowtest::chooseType(window->openVehicleForms().at(n),
                               n % 2 ? QStringLiteral("Serial") : windowtest::multicastText());
    windowtest::setSerial(window->openVehicleForms().at(3), QStringLiteral("/dev/ttyNONE9"));
    QTest::mouseClick(window->openVehicleForms().at(3)->connectBtn, Qt::LeftButton);
    QTRY_VERIFY(windowtest::locked(window->groundStationForm()));
    const int blocks = 1500;
    // Each block its own, as real commands are: the same block over and over
    // again would look like a loop. In rounds the peers' buffers can hold.
    const int blockSize = 20;
    for (int n = 1; n <= blocks; ++n) {
        gcsPeer.sendTo(gcsLink, QByteArray::number(n).rightJustified(blockSize, '-'));
        if (n % 100 != 0)
            continue;
        for (relaytest::UdpPeer &peer : uavPeers) {
            QTRY_COMPARE(peer.received().size(), n);
        }
        // The last two rounds give the rates an interval to go by; a send is
        // counted just after it went out.
        for (int id = 10; n >= blocks - 100 && id < 13; ++id)
            QTRY_COMPARE(TLinkManager::instance()->linkRef(id)->countersSnapshot().txBlocks,
                         quint64(n));
        if (n >= blocks - 100)
            window->counters()->refresh();
    }
    // Every figure exact, with the locale's grouping.
    const auto tooltipOf = [](TIoForm *form) {
        return static_cast<TLinkRow *>(form->parentWidget())->statusLabel()->toolTip();
    };
    const QLocale locale;
    const QString gcsTip = tooltipOf(window->groundStationForm());
    QVERIFY2(
        gcsTip.contains(QStringLiteral("received: %1 blocks, %2 bytes")
                            .arg(locale.toString(blocks), locale.toString(blocks * blockSize))),
        qPrintable(gcsTip));
    for (int n = 0; n < 3; ++n)
        QVERIFY2(tooltipOf(window->openVehicleForms().at(n))
                     .contains(QStringLiteral("sent: %1 blocks").arg(locale.toString(blocks))),
                 qPrintable(tooltipOf(window->openVehicleForms().at(n))));
    QTRY_VERIFY(tooltipOf(window->openVehicleForms().at(3))
                    .contains(QStringLiteral("/dev/ttyNONE9 does not exist")));

    window->resize(window->width(), 600);
    QWidget *last = window->openVehicleForms().last()->parentWidget();
    window->vehicleRowList()->showRow(last);
    QTRY_VERIFY(windowtest::inSight(last, window->vehicleRowList()->viewport()));
    QWidget *first = window->openVehicleForms().first()->parentWidget();
    window->vehicleRowList()->showRow(first);
    QTRY_VERIFY(windowtest::inSight(first, window->vehicleRowList()->viewport()));
    window->grab();
    const QImage image = window->grab().toImage();
    QVERIFY(!image.isNull());
    QCOMPARE(QColor(image.pixel(2, 2)), QColor(0x22, 0x22, 0x22));
    // Mostly dark: at least half of the pixels are darker than mid-gray.
    int dark = 0;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4)
            dark += qGray(image.pixel(x, y)) < 0x60;
    const int sampled = ((image.height() + 3) / 4) * ((image.width() + 3) / 4);
    QVERIFY2(dark * 2 > sampled, "the window does not look dark");
    QVERIFY(image.save(QStringLiteral("screenshot.png")));
    qInfo() << "screenshot written to" << QDir::current().absoluteFilePath("screenshot.png")
            << image.size();
}

// "Record" writes what the links pass into the chosen file, shows its size
// meanwhile, and a file that cannot be made is said in a box.
void TstMainWidget::recordsWhatFlows()
{
    windowtest::BoxWatcher boxes;
    QVERIFY(!window->recorder()->recordTo(QStringLiteral("no-such-folder/x.pcapng")));
    QTRY_COMPARE(boxes.seen.size(), 1);
    QVERIFY(boxes.texts().first().contains(QLatin1String("no-such-folder/x.pcapng")));

    relaytest::UdpPeer gcsPeer, uavPeer;
    QVERIFY(gcsPeer.bindLocal() && uavPeer.bindLocal());
    const quint16 gcsLink = testsupport::freeUdpPort();
    windowtest::setUnicast(window->groundStationForm(), gcsLink, gcsPeer.port());
    windowtest::setUnicast(window->openVehicleForms().first(), testsupport::freeUdpPort(),
                           uavPeer.port());
    QTest::mouseClick(window->connectAllButton(), Qt::LeftButton);
    QTRY_VERIFY(windowtest::locked(window->openVehicleForms().first()));
    QTRY_VERIFY(windowtest::locked(window->groundStationForm()));
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("window.pcapng"));
    // Started and stopped while data flows.
    int flowing = 0;
    QTimer flow;
    connect(&flow, &QTimer::timeout,
            [&] { gcsPeer.sendTo(gcsLink, "flow " + QByteArray::number(flowing++)); });
    flow.start(2);
    QTRY_VERIFY(flowing > 10);
    QVERIFY(window->recorder()->recordTo(file));
    QCOMPARE(window->recorder()->button()->text(), QStringLiteral("Stop"));
    const int before = flowing;
    QTRY_VERIFY(flowing > before + 10);
    QTRY_VERIFY(window->recorder()->sizeLabel()->text().startsWith(QStringLiteral("\u25cf ")));
    QTest::mouseClick(window->recorder()->button(), Qt::LeftButton);
    QCOMPARE(window->recorder()->button()->text(), QStringLiteral("Record"));
    flow.stop();
    if (QStandardPaths::findExecutable(QStringLiteral("tshark")).isEmpty())
        QSKIP("tshark is not installed; it reads the capture back");
    QProcess tshark;
    tshark.start(QStringLiteral("tshark"),
                 {"-r", file, "-T", "fields", "-e", "frame.interface_name", "-e", "udp.payload"});
    QVERIFY(tshark.waitForFinished(30000));
    QCOMPARE(tshark.exitCode(), 0);
    // Every record whole: each payload one of the blocks sent, in order.
    int last = -1, seen = 0;
    for (const QByteArray &line : tshark.readAllStandardOutput().split('\n')) {
        if (!line.startsWith("gcs\t"))
            continue;
        const QByteArray payload = QByteArray::fromHex(line.mid(4));
        QVERIFY2(payload.startsWith("flow "), payload.constData());
        QVERIFY(payload.mid(5).toInt() > last);
        last = payload.mid(5).toInt();
        ++seen;
    }
    QVERIFY(seen >= 10);
}

// Requests of the control socket on the window's session, without the
// socket: the rows follow what they change, and a refused one changes
// nothing and says why in the settings file's words.
void TstMainWidget::controlRequests_data()
{
    QTest::addColumn<QByteArray>("request");
    // Empty: ok, with the vehicle forms and the last one's local port after
    // ($P: the first vehicle's, $P1 the one after it, $F a free one).
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("forms");
    QTest::addColumn<QString>("localPort");
    QTest::newRow("add by the new-row rule") << QByteArray(R"({"cmd":"add"})") << "" << 2 << "$P1";
    QTest::newRow("add with settings")
        << QByteArray(R"({"cmd":"add","ConType":"udp","LocalPort":$F,"FixedPeer":true})") << "" << 2
        << "$F";
    QTest::newRow("set a closed link")
        << QByteArray(R"({"cmd":"set","link":"uav1","LocalPort":"7200"})") << "" << 1 << "7200";
    QTest::newRow("port out of range")
        << QByteArray(R"({"cmd":"set","link":"uav1","ConType":"udp","LocalPort":70001})")
        << "set: [Con0] LocalPort=70001: a port is 1 to 65535" << 1 << "$P";
    QTest::newRow("port a fraction")
        << QByteArray(R"({"cmd":"add","LocalPort":7.5})")
        << "add: LocalPort takes a text, a whole number or true/false, "
           "not a number"
        << 1 << "$P";
    QTest::newRow("flag a word") << QByteArray(R"({"cmd":"add","ConType":"udp","FixedPeer":"yes"})")
                                 << "add: [Con1] FixedPeer=yes: it is true or false" << 1 << "$P";
    QTest::newRow("kind unknown") << QByteArray(R"({"cmd":"add","ConType":"tcp"})")
                                  << "add: [Con1] ConType=tcp: a kind is serial, udp, multicast, "
                                  << 1 << "$P";
    QTest::newRow("link an object")
        << QByteArray(R"({"cmd":"set","link":{},"LocalPort":1})")
        << "set: link names a link such as uav1, not an object" << 1 << "$P";
    QTest::newRow("remove the only one")
        << QByteArray(R"({"cmd":"remove"})") << "remove: the last vehicle stays" << 1 << "$P";
    QTest::newRow("radio file missing") << QByteArray(R"({"cmd":"radio","file":"r.json"})")
                                        << "radio: r.json: No such file" << 1 << "$P";
    QTest::newRow("radio file a number")
        << QByteArray(R"({"cmd":"radio","file":7})")
        << "radio: file names a radio file, not a number" << 1 << "$P";
    QTest::newRow("radio off") << QByteArray(R"({"cmd":"radio"})") << "" << 1 << "$P";
    QTest::newRow("radio rule") << QByteArray(R"({"cmd":"radio","from":"gcs","to":"uav1",)"
                                              R"("profile":"down"})")
                                << "" << 1 << "$P";
    QTest::newRow("radio rule any, seed")
        << QByteArray(R"({"cmd":"radio","from":"*","to":"uav1","profile":"loss 5%","seed":3})")
        << "" << 1 << "$P";
    QTest::newRow("radio rule no such link")
        << QByteArray(R"({"cmd":"radio","from":"uav9","to":"uav1","profile":"down"})")
        << R"(radio: from = "uav9": no link of this relay (gcs, uav1 ... uav1, or *))" << 1 << "$P";
    QTest::newRow("radio rule link a number")
        << QByteArray(R"({"cmd":"radio","from":"gcs","to":3,"profile":"down"})")
        << "radio: to names a link (gcs, uav1 ... uav1, or *), not a number" << 1 << "$P";
    QTest::newRow("radio rule bad profile")
        << QByteArray(R"({"cmd":"radio","from":"gcs","to":"*","profile":"delay 5 parsecs"})")
        << R"(radio: profile = "delay 5 parsecs": )" << 1 << "$P";
    QTest::newRow("radio rule no profile")
        << QByteArray(R"({"cmd":"radio","from":"gcs","to":"*"})")
        << "radio: profile is a text such as \"delay 50ms loss 2%\", not none" << 1 << "$P";
    QTest::newRow("radio rule bad seed")
        << QByteArray(R"({"cmd":"radio","from":"gcs","to":"*","profile":"down","seed":-1})")
        << "radio: seed is a whole number from 0, not -1" << 1 << "$P";
    QTest::newRow("radio rule and file")
        << QByteArray(R"({"cmd":"radio","file":"r.json","from":"gcs","to":"*","profile":"down"})")
        << "radio: file or a rule (from, to, profile), not both" << 1 << "$P";
    QTest::newRow("radio unknown key")
        << QByteArray(R"({"cmd":"radio","rate":1})") << "radio: unknown key 'rate'" << 1 << "$P";
}

void TstMainWidget::controlRequests()
{
    QFETCH(QByteArray, request);
    QFETCH(QString, error);
    QFETCH(int, forms);
    QFETCH(QString, localPort);
    const quint16 port = testsupport::freeUdpPort();
    const QString free = QString::number(testsupport::freeUdpPort());
    request.replace("$F", free.toLatin1());
    localPort.replace("$P1", QString::number(port + 1))
        .replace("$P", QString::number(port))
        .replace("$F", free);
    windowtest::setUnicast(window->groundStationForm(), testsupport::freeUdpPort(),
                           testsupport::freeUdpPort());
    windowtest::setUnicast(window->openVehicleForms().at(0), port, testsupport::freeUdpPort());
    window->relay().setSettings(TLinkNames::firstUavLinkId,
                                window->openVehicleForms().at(0)->values());
    TControlCommands commands(window->relay(), TFormSettings::path());
    const QJsonObject answer = commands.runLine(request);
    QCOMPARE(answer.value("error").toString().left(error.size()), error);
    QCOMPARE(answer.value("ok").toBool(), error.isEmpty());
    QCOMPARE(window->vehicleRows().size(), forms);
    QCOMPARE(window->openVehicleForms().last()->localPortEdit->text(), localPort);
    QCOMPARE(window->relay().vehicleCount(), forms);
    // The list written as text is the list built as a document, whatever a
    // text holds.
    const QString odd = QStringLiteral("say \"no\"\n\t\\ \x01 \u00e9\u4e2d");
    TLinkManager::instance()->getLink(TLinkNames::gcsLinkId)->counters().noteError(odd);
    const QByteArray list(R"({"cmd":"list"})");
    const QJsonObject written = QJsonDocument::fromJson(commands.answerLine(list).text).object();
    QCOMPARE(written, commands.runLine(list));
    QCOMPARE(written.value("links").toArray().at(0).toObject().value("last_error").toString(), odd);
    // A rule set is in force for its pair; a refused one leaves none.
    const QJsonObject sent = QJsonDocument::fromJson(request).object();
    const TRadioRules *rules = TRadio::instance().rules();
    if (sent.contains("from"))
        QCOMPARE(rules && rules->written(TRadioFile::linkId(sent.value("from").toString()),
                                         TRadioFile::linkId(sent.value("to").toString())),
                 error.isEmpty());
}

QTEST_MAIN(TstMainWidget)
#include "tst_mainwidget.moc"
