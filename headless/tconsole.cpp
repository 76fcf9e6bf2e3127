#include "headless/tconsole.h"

#include <cstdio>

namespace {
void writeLine(std::FILE *stream, const QString &line)
{
    const QByteArray bytes = (line + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}
} // namespace

void TConsole::errorLine(const QString &line)
{
    writeLine(stderr, line);
}

void TConsole::outputLine(const QString &line)
{
    writeLine(stdout, line);
}
