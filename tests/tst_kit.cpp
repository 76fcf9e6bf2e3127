// Widget kit: style object, labels, composites, buttons,
// containers and the serial port selector.

#include "ui/kit/tcontainer.h"
#include "ui/kit/tlabel.h"
#include "ui/kit/tlabelcombox.h"
#include "ui/kit/tlabellineedit.h"
#include "ui/kit/tpushbutton.h"
#include "ui/kit/tserialcombox.h"
#include "ui/kit/tuidefine.h"
#include "ui/kit/twidget.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QSerialPortInfo>
#include <QSpacerItem>
#include <QTemporaryFile>
#include <QtTest>

namespace {
const QString kComboSheet = QStringLiteral(
    "QComboBox {            background-color: #444444;            border-radius: 4px;    "
    "        height:40;            color: white;            }            QComboBox::disabled {"
    "            background-color: #333333;            color: gray;            }            "
    "QComboBox QAbstractItemView {                background-color: #444444;                "
    "color: white;                border-radius: 4px;                height:40;               "
    " selection-background-col            }");
const QString kEditSheet = QStringLiteral(
    "QLineEdit {                          background-color: #444444;                          "
    "color: white;                          border:none;                          "
    "border-radius: 4px;                          }                          "
    "QLineEdit::disabled {color: gray;}");
const QString kButtonSheet = QStringLiteral(
    "QPushButton {            background-color: #626270;            font-size: 18px;         "
    "   border-radius: 4px;            color: white;            height: 40;            "
    "width: 100;            text-align:center;        }        QPushButton::disabled {      "
    "      background-color: #444444;            color: gray;        }        "
    "QPushButton::hover {            background-color: #585d83;            color: white;     "
    "   }");

QStringList expectedPortEntries(bool withDescription)
{
    QStringList entries;
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts())
        entries << (withDescription ? port.portName() + QStringLiteral(": ") + port.description()
                                    : port.portName());
    return entries;
}

QStringList comboEntries(const QComboBox &box)
{
    QStringList entries;
    for (int i = 0; i < box.count(); ++i)
        entries << box.itemText(i);
    return entries;
}
} // namespace

class TstKit : public QObject
{
    Q_OBJECT

private slots:
    void styleSheetLengths();
    void uiDefine();
    void widgetFlagsAndBackground();
    void containerPaintsRoundedRectangle();
    void labelLook();
    void labelSetPointSize();
    void labelComboxWithCaption();
    void labelComboxWithoutCaption();
    void labelComboxItemsAndFont();
    void lineEditNullUnit();
    void lineEditEmptyUnit();
    void lineEditTextUnitAndHeight();
    void lineEditSetEditEnabledGreysOnlyTheEdit();
    void pushButtonSizesAndStyle_data();
    void pushButtonSizesAndStyle();
    void pushButtonWidthStaysInRange();
    void serialComboxListsPorts();
    void serialComboxWithoutDescription();
    void serialComboxKeepsCurrentEntry();
    void serialComboxRightPressDoesNothing();
};

void TstKit::styleSheetLengths()
{
    QCOMPARE(kComboSheet.size(), 474);
    QCOMPARE(kEditSheet.size(), 272);
    QCOMPARE(kButtonSheet.size(), 422);
    QCOMPARE(QString::fromLatin1(TLabelCombox::styleSheetText), kComboSheet);
    QCOMPARE(QString::fromLatin1(TLabelLineEdit::styleSheetText), kEditSheet);
    QCOMPARE(QString::fromLatin1(TPushButton::styleSheetText), kButtonSheet);
}

void TstKit::uiDefine()
{
    TUiDefine *ui = TUiDefine::instance();
    QVERIFY(ui);
    QCOMPARE(TUiDefine::instance(), ui);
    QCOMPARE(ui->widgetHeight, 40);
    QCOMPARE(ui->widgetMinWidth, 100);
    QCOMPARE(ui->labelFont.pixelSize(), 18);
    QCOMPARE(ui->widgetFont, ui->labelFont);
    QCOMPARE(ui->widgetFont.family(), QFont().family());
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const QBrush brush = ui->labelPalette.brush(group, QPalette::WindowText);
        QCOMPARE(brush.color(), QColor(Qt::white));
        QCOMPARE(brush.style(), Qt::SolidPattern);
    }
    QCOMPARE(QString::fromLatin1(ui->metaObject()->className()), QStringLiteral("TUiDefine"));
}

void TstKit::widgetFlagsAndBackground()
{
    TWidget widget;
    QVERIFY(widget.windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(widget.windowModality(), Qt::NonModal);
    QCOMPARE(QString::fromLatin1(widget.metaObject()->superClass()->className()),
             QStringLiteral("QWidget"));
    widget.resize(120, 80);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    // The dark palette is applied at the first paint; the grab paints again.
    widget.grab();
    const QImage image = widget.grab().toImage();
    QVERIFY(widget.autoFillBackground());
    QCOMPARE(widget.palette().color(QPalette::Window), QColor(0x22, 0x22, 0x22));
    QCOMPARE(QColor(image.pixel(60, 40)), QColor(0x22, 0x22, 0x22));
    QCOMPARE(QColor(image.pixel(0, 0)), QColor(0x22, 0x22, 0x22));
}

void TstKit::containerPaintsRoundedRectangle()
{
    // A parent with a known background shows what the container leaves alone.
    QWidget host;
    host.setAutoFillBackground(true);
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(Qt::red));
    host.setPalette(palette);
    host.resize(300, 80);
    auto *container = new TContainer(&host);
    container->setGeometry(0, 0, 300, 80);
    QVERIFY(!container->testAttribute(Qt::WA_QuitOnClose));
    const QImage image = host.grab().toImage();
    QCOMPARE(image.size(), QSize(300, 80));
    const QColor dark(0x22, 0x22, 0x22);
    // Inside: the rectangle's colour, no outline at the straight edges.
    QCOMPARE(QColor(image.pixel(150, 40)), dark);
    QCOMPARE(QColor(image.pixel(150, 1)), dark);
    QCOMPARE(QColor(image.pixel(1, 40)), dark);
    QCOMPARE(QColor(image.pixel(10, 10)), dark);
    // Corners lie outside the rounded rectangle: the parent shows through.
    QCOMPARE(QColor(image.pixel(0, 0)), QColor(Qt::red));
    QCOMPARE(QColor(image.pixel(299, 0)), QColor(Qt::red));
    QCOMPARE(QColor(image.pixel(0, 79)), QColor(Qt::red));
    QCOMPARE(QColor(image.pixel(299, 79)), QColor(Qt::red));
    // The rectangle is 299 x 79: the last column and row stay (mostly) unpainted.
    QCOMPARE(QColor(image.pixel(299, 40)).red() > 0x80, true);
    QCOMPARE(QColor(image.pixel(150, 79)).red() > 0x80, true);
}

void TstKit::labelLook()
{
    TLabel plain;
    QCOMPARE(plain.font().pixelSize(), 18);
    QCOMPARE(plain.palette().color(QPalette::WindowText), QColor(Qt::white));
    QVERIFY(!plain.testAttribute(Qt::WA_DeleteOnClose));

    QWidget parent;
    TLabel withText(QStringLiteral("Gcs Port Setting"), &parent, Qt::WindowFlags());
    QCOMPARE(withText.text(), QStringLiteral("Gcs Port Setting"));
    QCOMPARE(withText.parentWidget(), &parent);
    QCOMPARE(withText.font().pixelSize(), 18);
    QCOMPARE(withText.palette().color(QPalette::WindowText), QColor(Qt::white));
}

void TstKit::labelSetPointSize()
{
    TLabel label;
    label.setPointSize(30);
    QCOMPARE(label.font().pointSize(), 30);
}

void TstKit::labelComboxWithCaption()
{
    TLabelCombox box(QStringLiteral("网卡"));
    QCOMPARE(box.styleSheet(), kComboSheet);
    QVERIFY(box.label());
    QCOMPARE(box.label()->text(), QStringLiteral("网卡:"));
    QCOMPARE(box.label()->alignment(), Qt::AlignRight | Qt::AlignVCenter);
    auto *layout = qobject_cast<QHBoxLayout *>(box.layout());
    QVERIFY(layout);
    QCOMPARE(layout->spacing(), 0);
    QCOMPARE(layout->contentsMargins(), QMargins(0, 0, 0, 0));
    QCOMPARE(layout->count(), 3);
    QCOMPARE(layout->itemAt(0)->widget(), static_cast<QWidget *>(box.label()));
    QCOMPARE(layout->itemAt(1)->widget(), static_cast<QWidget *>(box.comboBox()));
    QSpacerItem *spacer = layout->itemAt(2)->spacerItem();
    QVERIFY(spacer);
    QCOMPARE(spacer->sizeHint(), QSize(1, 1));
    QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QVERIFY(box.label()->isVisible());
    QVERIFY(box.label()->geometry().right() <= box.comboBox()->geometry().left());
}

void TstKit::labelComboxWithoutCaption()
{
    TLabelCombox box{QString()};
    QVERIFY(box.label());
    QVERIFY(box.label()->text().isEmpty());
    QCOMPARE(box.layout()->count(), 2);
    QCOMPARE(box.layout()->itemAt(0)->widget(), static_cast<QWidget *>(box.comboBox()));
    QVERIFY(box.layout()->itemAt(1)->spacerItem());
    QCOMPARE(box.layout()->indexOf(box.label()), -1);
    box.resize(400, 40);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QVERIFY(!box.label()->isVisible());
    QCOMPARE(box.comboBox()->height(), 40);
    QCOMPARE(box.comboBox()->minimumHeight(), 40);
    QCOMPARE(box.comboBox()->maximumHeight(), 40);
    QVERIFY(box.comboBox()->width() >= 100);
    QCOMPARE(box.comboBox()->minimumWidth(), 100);
    // The spacer keeps the combo box at the left.
    QCOMPARE(box.comboBox()->x(), 0);
    QVERIFY(box.comboBox()->width() < 400);
}

void TstKit::labelComboxItemsAndFont()
{
    TLabelCombox box{QString()};
    box.addItem(QStringLiteral("a"));
    box.addItems({QStringLiteral("b"), QStringLiteral("c")});
    QCOMPARE(comboEntries(*box.comboBox()),
             (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
    QCOMPARE(box.currentText(), QStringLiteral("a"));
    box.comboBox()->setCurrentIndex(2);
    QCOMPARE(box.currentText(), QStringLiteral("c"));
    QCOMPARE(box.comboBox()->font().pixelSize(), 18);
    QFont font;
    font.setPixelSize(11);
    box.setWidgetsFont(font);
    QCOMPARE(box.comboBox()->font().pixelSize(), 11);
    QCOMPARE(box.label()->font().pixelSize(), 11);
}

void TstKit::lineEditNullUnit()
{
    TLabelLineEdit edit(QStringLiteral("LocalIp"), QString());
    QVERIFY(!edit.unit());
    QCOMPARE(edit.label()->text(), QStringLiteral("LocalIp")); // no colon added
    QCOMPARE(edit.lineEdit()->styleSheet(), kEditSheet);
    QVERIFY(edit.styleSheet().isEmpty());
    QCOMPARE(edit.label()->palette().color(QPalette::WindowText), QColor(Qt::white));
    auto *layout = qobject_cast<QHBoxLayout *>(edit.layout());
    QVERIFY(layout);
    QCOMPARE(layout->spacing(), 5);
    QCOMPARE(layout->contentsMargins(), QMargins(0, 0, 0, 0));
    QCOMPARE(layout->count(), 3);
    QCOMPARE(layout->itemAt(0)->widget(), static_cast<QWidget *>(edit.label()));
    QCOMPARE(layout->itemAt(0)->alignment(), Qt::AlignVCenter);
    QCOMPARE(layout->itemAt(1)->widget(), static_cast<QWidget *>(edit.lineEdit()));
    QCOMPARE(layout->itemAt(1)->alignment(), Qt::AlignVCenter);
    QVERIFY(layout->itemAt(2)->spacerItem());
    QCOMPARE(layout->stretch(2), 10);
    QCOMPARE(edit.lineEdit()->minimumHeight(), 25);
    QCOMPARE(edit.lineEdit()->maximumHeight(), 25);
}

void TstKit::lineEditEmptyUnit()
{
    TLabelLineEdit edit(QStringLiteral("LocalPort"), QStringLiteral(""));
    QVERIFY(edit.unit());
    QVERIFY(edit.unit()->text().isEmpty());
    auto *layout = edit.layout();
    QCOMPARE(layout->count(), 4);
    QCOMPARE(layout->itemAt(1)->widget(), static_cast<QWidget *>(edit.lineEdit()));
    QCOMPARE(layout->itemAt(2)->widget(), static_cast<QWidget *>(edit.unit()));
    QVERIFY(layout->itemAt(3)->spacerItem());
}

void TstKit::lineEditTextUnitAndHeight()
{
    TLabelLineEdit edit(QStringLiteral("Port"), QStringLiteral("ms"));
    QCOMPARE(edit.unit()->text(), QStringLiteral("ms"));
    edit.setText(QStringLiteral("4701"));
    QCOMPARE(edit.text(), QStringLiteral("4701"));
    QCOMPARE(edit.lineEdit()->text(), QStringLiteral("4701"));
    edit.setEditHeight(30);
    QCOMPARE(edit.lineEdit()->minimumHeight(), 30);
    QCOMPARE(edit.lineEdit()->maximumHeight(), 30);
    QFont font;
    font.setPixelSize(12);
    edit.setWidgetsFont(font);
    QCOMPARE(edit.lineEdit()->font().pixelSize(), 12);
    QCOMPARE(edit.label()->font().pixelSize(), 12);
    QCOMPARE(edit.unit()->font().pixelSize(), 12);
}

void TstKit::lineEditSetEditEnabledGreysOnlyTheEdit()
{
    TLabelLineEdit edit(QStringLiteral("LocalIp"), QStringLiteral(""));
    edit.setText(QStringLiteral("224.0.0.31"));
    edit.resize(300, 40);
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    const QImage enabledImage = edit.lineEdit()->grab().toImage();

    edit.setEditEnabled(false);
    QVERIFY(!edit.lineEdit()->isEnabled());
    QVERIFY(edit.label()->isEnabled());
    QVERIFY(edit.unit()->isEnabled());
    QVERIFY(edit.isEnabled());
    // The style sheet gives the disabled text gray: the glyphs change colour.
    const QImage disabledImage = edit.lineEdit()->grab().toImage();
    QVERIFY(enabledImage != disabledImage);
    bool sawGray = false;
    for (int y = 0; y < disabledImage.height() && !sawGray; ++y)
        for (int x = 0; x < disabledImage.width() && !sawGray; ++x) {
            const QColor c(disabledImage.pixel(x, y));
            sawGray = qAbs(c.red() - 0x80) < 12 && qAbs(c.green() - 0x80) < 12 &&
                      qAbs(c.blue() - 0x80) < 12;
        }
    QVERIFY2(sawGray, "disabled text is not gray");
    QCOMPARE(QColor(disabledImage.pixel(1, disabledImage.height() / 2)), QColor(0x44, 0x44, 0x44));

    edit.setEditEnabled(true);
    QVERIFY(edit.lineEdit()->isEnabled());
}

void TstKit::pushButtonSizesAndStyle_data()
{
    QTest::addColumn<int>("constructor");
    QTest::newRow("parent only") << 0;
    QTest::newRow("text") << 1;
    QTest::newRow("icon and text") << 2;
}

void TstKit::pushButtonSizesAndStyle()
{
    QFETCH(int, constructor);
    QWidget host;
    TPushButton *button = nullptr;
    if (constructor == 0)
        button = new TPushButton(&host);
    else if (constructor == 1)
        button = new TPushButton(QStringLiteral("全部连接"), &host);
    else
        button = new TPushButton(QIcon(), QStringLiteral("Connect"), &host);
    QCOMPARE(button->parentWidget(), &host);
    QCOMPARE(button->minimumHeight(), 40);
    QCOMPARE(button->maximumHeight(), 40);
    QCOMPARE(button->minimumWidth(), 100);
    QCOMPARE(button->maximumWidth(), 200);
    QCOMPARE(button->styleSheet(), kButtonSheet);
    QCOMPARE(button->font().pixelSize(), 18);

    button->resize(150, 40);
    host.resize(200, 60);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    const QImage normal = button->grab().toImage();
    QCOMPARE(QColor(normal.pixel(3, 20)), QColor(0x62, 0x62, 0x70));
    // Under the mouse: the hover colour.
    QTest::mouseMove(&host, QPoint(190, 55));
    QTRY_VERIFY(!button->underMouse());
    QTest::mouseMove(button, QPoint(75, 20));
    QTRY_VERIFY(button->underMouse());
    QTRY_COMPARE(QColor(button->grab().toImage().pixel(3, 20)), QColor(0x58, 0x5d, 0x83));
    button->setEnabled(false);
    const QImage disabled = button->grab().toImage();
    QCOMPARE(QColor(disabled.pixel(3, 20)), QColor(0x44, 0x44, 0x44));
}

void TstKit::pushButtonWidthStaysInRange()
{
    QWidget host;
    auto *layout = new QHBoxLayout(&host);
    auto *button = new TPushButton(QStringLiteral("x"));
    layout->addWidget(button);
    host.resize(800, 60);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QCOMPARE(button->height(), 40);
    QVERIFY(button->width() >= 100);
    QVERIFY(button->width() <= 200);
    host.resize(50, 60);
    QTRY_VERIFY(button->width() >= 100);
}

void TstKit::serialComboxListsPorts()
{
    TSerialCombox box;
    QVERIFY(box.isShowingDescription());
    const QStringList expected = expectedPortEntries(true);
    QCOMPARE(comboEntries(box), expected);
    if (expected.isEmpty()) {
        QCOMPARE(box.currentText(), QString());
        QSKIP("this machine lists no serial port: the entry format cannot be observed");
    }
    QCOMPARE(box.currentIndex(), 0);
    // Every entry is "name: description"; the part before ':' is the port name.
    for (const QString &entry : expected)
        QVERIFY(entry.contains(QStringLiteral(": ")));
    const QSerialPortInfo first = QSerialPortInfo::availablePorts().first();
    QCOMPARE(box.itemText(0).section(QLatin1Char(':'), 0, 0), first.portName());
}

void TstKit::serialComboxWithoutDescription()
{
    TSerialCombox box;
    box.setShowDescription(false);
    QVERIFY(!box.isShowingDescription());
    // The list changes only at the next refresh.
    QCOMPARE(comboEntries(box), expectedPortEntries(true));
    box.refreshPorts();
    QCOMPARE(comboEntries(box), expectedPortEntries(false));
}

void TstKit::serialComboxKeepsCurrentEntry()
{
    TSerialCombox box;
    // A port that is gone, or was never listed, stays chosen and is marked;
    // a typed path that exists is used whole and not marked.
    box.setCurrentText(QStringLiteral("gone-port: no longer here"));
    box.refreshPorts();
    QCOMPARE(box.currentText(), QStringLiteral("gone-port: no longer here"));
    QVERIFY(box.currentPortAbsent());
    QVERIFY(box.toolTip().contains(QStringLiteral("gone-port")));
    QTemporaryFile device;
    QVERIFY(device.open());
    box.setCurrentText(device.fileName());
    box.refreshPorts();
    QCOMPARE(box.currentText(), device.fileName());
    QVERIFY(!box.currentPortAbsent());
    QVERIFY(box.toolTip().isEmpty());

    const QStringList expected = expectedPortEntries(true);
    if (expected.isEmpty())
        QSKIP("this machine lists no serial port: nothing to keep across a refresh");
    const QString last = expected.last();
    box.setCurrentText(last);
    QCOMPARE(box.currentText(), last);
    box.refreshPorts();
    QCOMPARE(box.currentText(), last);
    QCOMPARE(comboEntries(box), expected);

    // A left press refreshes (and opens the popup) and keeps the entry.
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::mouseClick(&box, Qt::LeftButton);
    QCOMPARE(box.currentText(), last);
    QCOMPARE(comboEntries(box), expected);
    box.hidePopup();
}

void TstKit::serialComboxRightPressDoesNothing()
{
    TSerialCombox box;
    box.addItem(QStringLiteral("not a port"));
    const int count = box.count();
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::mouseClick(&box, Qt::RightButton);
    QCOMPARE(box.count(), count); // no refresh: the extra entry is still there
    QVERIFY(!box.view()->isVisible());
    QTest::mouseClick(&box, Qt::LeftButton);
    QCOMPARE(box.count(), count - 1); // refreshed: the extra entry is gone
    QTRY_VERIFY(box.view()->isVisible());
    box.hidePopup();
}

QTEST_MAIN(TstKit)
#include "tst_kit.moc"
