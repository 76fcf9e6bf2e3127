#include "ui/tbuttonbar.h"

#include "config/tswarmfile.h"
#include "ui/kit/tpushbutton.h"
#include "ui/tradiobutton.h"
#include "ui/trecordbutton.h"

#include <QSpinBox>

TButtonBar::TButtonBar(TRelaySession &session)
    : connectAllBtn(new TPushButton(QString::fromUtf8("全部连接"))),
      disconnectAllBtn(new TPushButton(QString::fromUtf8("全部断开"))),
      addUavBtn(new TPushButton(QStringLiteral("增加无人机"))), count(new QSpinBox),
      delUavBtn(new TPushButton(QStringLiteral("删除无人机"))),
      recordButton(new TRecordButton(session))
{
    count->setRange(1, TSwarmFile::maxVehicles);
    count->setFixedHeight(30);
    count->setPrefix(QStringLiteral("\u00d7 "));
    count->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    count->setToolTip(
        QSpinBox::tr("Vehicles the button adds at once, each by the rule for a new row"));
    addWidget(connectAllBtn);
    addWidget(disconnectAllBtn);
    addWidget(addUavBtn);
    addWidget(count);
    addWidget(delUavBtn);
    addWidget(recordButton);
    addWidget(new TRadioButton(session));
}
