#pragma once

#include "config/trunoptions.h"

#include <QStringList>

class TCommandLine
{
public:
    // The arguments as the application object left them, program name first.
    static TRunOptions parse(const QStringList &arguments);
};
