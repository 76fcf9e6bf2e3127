#pragma once

#include "config/tsettingsproblem.h"

#include <QString>

class QCheckBox;
class QComboBox;
struct TLinkSettings;

// The stored values a port form was built with that no link may be opened
// with. Some cannot be shown at all (a kind or a baud rate that is none of
// the box's entries, a check box value that is neither state), so the form
// keeps them here until the operator sets that control by hand.
class TFormRefusals
{
public:
    void keep(const TSettingsProblems &problems) { stored = problems; }
    const TSettingsProblems &kept() const { return stored; }
    void forget(const QString &key);
    // The operator setting the control by hand forgets its key.
    void forgetOnEdit(QComboBox *box, const QString &key);
    void forgetOnEdit(QCheckBox *box, const QString &key);
    // Those still standing for the keys the chosen kind uses, and whatever
    // the form holds now that the checks refuse; empty when it may open.
    TSettingsProblems of(const QString &group, const TLinkSettings &shown) const;

private:
    TSettingsProblems stored;
};
