#include "ui/tlinkrow.h"

#include "link/iohandler.h"
#include "link/tlinkerrors.h"
#include "link/tlinknames.h"
#include "link/tserialports.h"
#include "msg/tmsgmanager.h"
#include "ui/kit/telidedlabel.h"
#include "ui/kit/tfieldrules.h"
#include "ui/kit/tlabel.h"
#include "ui/kit/tpushbutton.h"
#include "ui/kit/tuidefine.h"
#include "ui/tformsettings.h"
#include "ui/tioform.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
QString colourOf(TLinkRow::Look look)
{
    switch (look) {
    case TLinkRow::Look::Open:
        return QStringLiteral("#7fc97f");
    case TLinkRow::Look::Quiet:
        return QStringLiteral("#e0b050");
    case TLinkRow::Look::Failed:
        return QStringLiteral("#e06c6c");
    default:
        return QStringLiteral("#8c8c8c");
    }
}

const QString kOpen = QStringLiteral("\u25be");
const QString kClosed = QStringLiteral("\u25b8");
const QString kRadio = QStringLiteral("\u2248");
} // namespace

TLinkRow::TLinkRow(int linkId, const QString &group, const TFormSettings::Start &start,
                   QWidget *parent)
    : QWidget(parent), groupName(group), held(start.values), id(linkId)
{
    refused.keep(start.refused);
    layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto *line = new QHBoxLayout;
    layout->addLayout(line);

    opener = new QToolButton;
    opener->setText(kClosed);
    opener->setFont(TUiDefine::instance()->widgetFont);
    opener->setPalette(TUiDefine::instance()->labelPalette);
    opener->setAutoRaise(true);
    opener->setCheckable(true);
    opener->setToolTip(tr("Show the port form"));
    connect(opener, &QToolButton::toggled, this, &TLinkRow::setOpened);
    line->addWidget(opener);

    name = new TLabel(TLinkNames::rowName(linkId));
    name->setFont(TUiDefine::instance()->widgetFont);
    name->setToolTip(tr("link id %1").arg(linkId));
    // One width for every row, so that the lines form columns.
    name->setFixedWidth(QFontMetrics(name->font()).horizontalAdvance(QStringLiteral("Uav 0000")));
    line->addWidget(name);
    kind = new QLabel;
    kind->setFont(TUiDefine::instance()->widgetFont);
    kind->setPalette(TUiDefine::instance()->labelPalette);
    int kindWidth = 0;
    for (const TLinkSettings::Choice &choice : TLinkSettings::conTypes())
        kindWidth = qMax(kindWidth, QFontMetrics(kind->font()).horizontalAdvance(choice.text));
    kind->setFixedWidth(kindWidth + 8);
    line->addWidget(kind);
    // Always there, empty or not, so that the endpoints stay in a column.
    radioMark = new QLabel;
    radioMark->setFont(TUiDefine::instance()->widgetFont);
    radioMark->setPalette(TUiDefine::instance()->labelPalette);
    radioMark->setFixedWidth(QFontMetrics(radioMark->font()).horizontalAdvance(kRadio) + 4);
    line->addWidget(radioMark);
    endpoint =
        new TElidedLabel(QStringLiteral("127.0.0.1:65535 \u2192 127.0.0.1:65535"), Qt::ElideMiddle);
    line->addWidget(endpoint);
    for (QWidget *label : {static_cast<QWidget *>(name), static_cast<QWidget *>(kind),
                           static_cast<QWidget *>(endpoint)})
        label->installEventFilter(this);

    connectBtn = new TPushButton(tr("Connect"));
    disconnectBtn = new TPushButton(tr("Disconnect"));
    for (TPushButton *button : {connectBtn, disconnectBtn}) {
        button->setFixedHeight(30);
        TFieldRules::fitButtonToText(button);
        line->addWidget(button);
    }
    buildStatus();
    // What is left of the line: a live line may be long.
    line->addWidget(status, 1);
    setConFlag(false);
    showSummary();
}

void TLinkRow::buildStatus()
{
    // Room for busy rates at least, so that the line does not make the row
    // jump; the totals after them when the window is wider.
    status = new TElidedLabel(QStringLiteral("quiet  in 9999/s  out 9999/s"), Qt::ElideRight);
    // Named, so that its colour stays off its tooltip.
    status->setObjectName(QStringLiteral("linkStatus"));
    status->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto *reset = new QAction(tr("Reset counters"), status);
    auto *resetAll = new QAction(tr("Reset all counters"), status);
    status->addActions({reset, resetAll});
    connect(reset, &QAction::triggered, this, [this] { emit resetRequested(id); });
    connect(resetAll, &QAction::triggered, this, &TLinkRow::resetAllRequested);
    showStatus(tr("closed"), QString(), Look::Closed);
    status->setStyleSheet(QStringLiteral("#linkStatus { color: %1; }").arg(colourOf(Look::Closed)));
}

bool TLinkRow::eventFilter(QObject *watched, QEvent *event)
{
    // The line's words open and close the row like its arrow.
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton && watched != status)
        setOpened(!isOpened());
    return QWidget::eventFilter(watched, event);
}

TIoForm *TLinkRow::form()
{
    if (ioForm)
        return ioForm;
    TFormSettings::Start start{held, refused.kept()};
    ioForm = new TIoForm(groupName, start, {connectBtn, disconnectBtn});
    ioForm->setVisible(false);
    // Under the line's words, not under the arrow.
    ioForm->setContentsMargins(opener->sizeHint().width(), 0, 0, 0);
    layout->addWidget(ioForm);
    ioForm->setConFlag(conFlag);
    // The line follows every edit of the form.
    for (QLineEdit *edit : ioForm->findChildren<QLineEdit *>())
        connect(edit, &QLineEdit::textChanged, this, &TLinkRow::showSummary);
    for (QComboBox *box : ioForm->findChildren<QComboBox *>())
        connect(box, &QComboBox::currentTextChanged, this, &TLinkRow::showSummary);
    for (QCheckBox *check : ioForm->findChildren<QCheckBox *>())
        connect(check, &QCheckBox::toggled, this, &TLinkRow::showSummary);
    showSummary();
    return ioForm;
}

bool TLinkRow::isOpened() const
{
    return opener->isChecked();
}

void TLinkRow::setOpened(bool opened)
{
    if (opened)
        form();
    if (opener->isChecked() != opened) {
        // Back here through toggled.
        opener->setChecked(opened);
        return;
    }
    opener->setText(opened ? kOpen : kClosed);
    opener->setToolTip(opened ? tr("Hide the port form") : tr("Show the port form"));
    if (ioForm)
        ioForm->setVisible(opened);
    emit openedChanged(opened);
}

TLinkSettings TLinkRow::values() const
{
    return ioForm ? ioForm->values() : held;
}

TSettingsProblems TLinkRow::refusals() const
{
    return ioForm ? ioForm->refusals() : refused.of(groupName, held);
}

bool TLinkRow::sayRefusals() const
{
    const TSettingsProblems problems = refusals();
    for (const TSettingsProblem &problem : problems)
        emit TMsgManager::instance()->showMsg(
            id, BoxMsg, Warn, TLinkErrors::forRow(id, problem.line(TFormSettings::path())));
    return problems.isEmpty();
}

void TLinkRow::apply(const TLinkSettings &values)
{
    if (ioForm)
        ioForm->apply(values);
    else
        held = values;
    showSummary();
}

void TLinkRow::store() const
{
    if (refusals().isEmpty())
        TFormSettings::save(groupName, values());
}

void TLinkRow::setConFlag(bool isConFlag)
{
    conFlag = isConFlag;
    if (ioForm) {
        ioForm->setConFlag(isConFlag);
        return;
    }
    connectBtn->setEnabled(!isConFlag);
    disconnectBtn->setEnabled(isConFlag);
}

QString TLinkRow::endpointText(const TLinkSettings &v)
{
    const QString arrow = QStringLiteral(" \u2192 ");
    switch (TLinkSettings::kindOf(v.conType)) {
    case IOHandler::UdpUnicast:
        return v.localIp + QLatin1Char(':') + v.localPort + arrow + v.remoteIp + QLatin1Char(':') +
               v.remotePort;
    case IOHandler::UdpMulticast:
        return v.groupIp + QLatin1Char(':') + v.groupPort + tr(" on ") + v.netInterface;
    case IOHandler::TcpClient:
        return arrow.mid(1) + v.remoteIp + QLatin1Char(':') + v.remotePort;
    case IOHandler::TcpServer:
        return tr("listening on ") + v.localIp + QLatin1Char(':') + v.localPort;
    case IOHandler::Serial:
        // The line as its users write it: 115200 8N1.
        return TSerialPorts::deviceName(v.serialPort).trimmed() + QLatin1Char(' ') + v.baudRate +
               QLatin1Char(' ') + v.dataBits + v.parity.left(1) + v.stopBits;
    default:
        return tr("no kind: %1").arg(v.conType);
    }
}

void TLinkRow::showSummary()
{
    const TLinkSettings v = values();
    kind->setText(v.conType);
    const QString text = endpointText(v);
    endpoint->setFullText(text);
    endpoint->setToolTip(text);
}

bool TLinkRow::radioMarked() const
{
    return !radioMark->text().isEmpty();
}

void TLinkRow::showRadioMark(bool marked)
{
    if (marked == radioMarked())
        return;
    radioMark->setText(marked ? kRadio : QString());
    radioMark->setToolTip(marked ? tr("The emulated radio has rules for this link") : QString());
}

void TLinkRow::showStatus(const QString &line, const QString &tooltip, Look look)
{
    status->setFullText(line);
    if (tooltip != status->toolTip())
        status->setToolTip(tooltip);
    if (look != shownLook) {
        shownLook = look;
        status->setStyleSheet(QStringLiteral("#linkStatus { color: %1; }").arg(colourOf(look)));
    }
}
