#pragma once

#include <QString>

// The relay's lines for people and scripts: what happens to the links on
// standard error, figures on standard output. Each line is written whole
// and flushed at once, so a pipe reader sees it when it happens.
class TConsole
{
public:
    static void errorLine(const QString &line);
    static void outputLine(const QString &line);
};
