#include "ui/tformrefusals.h"

#include "config/tlinksettings.h"
#include "config/tsettingscheck.h"

#include <QCheckBox>
#include <QComboBox>

#include <algorithm>

void TFormRefusals::forget(const QString &key)
{
    stored.erase(std::remove_if(stored.begin(), stored.end(),
                                [&key](const TSettingsProblem &p) { return p.key == key; }),
                 stored.end());
}

void TFormRefusals::forgetOnEdit(QComboBox *box, const QString &key)
{
    QObject::connect(box, QOverload<int>::of(&QComboBox::activated), box,
                     [this, key] { forget(key); });
}

void TFormRefusals::forgetOnEdit(QCheckBox *box, const QString &key)
{
    QObject::connect(box, &QCheckBox::clicked, box, [this, key] { forget(key); });
}

TSettingsProblems TFormRefusals::of(const QString &group, const TLinkSettings &shown) const
{
    TSettingsProblems problems = TSettingsCheck::check(group, shown);
    const QStringList used = TSettingsCheck::keysOf(TLinkSettings::kindOf(shown.conType));
    for (const TSettingsProblem &p : stored) {
        const bool told = std::any_of(problems.begin(), problems.end(),
                                      [&p](const TSettingsProblem &q) { return q.key == p.key; });
        if (used.contains(p.key) && !told)
            problems.append(p);
    }
    return problems;
}
