#include "config/trunoptions.h"

#include "config/tswarmfile.h"

QString TRunOptions::configPath() const
{
    return config.isEmpty() ? QString::fromLatin1(TSwarmFile::defaultPath) : config;
}

QString TRunOptions::controlPath(const QString &stored) const
{
    const QString path = !control.isEmpty()  ? control
                         : !stored.isEmpty() ? stored
                                             : QStringLiteral("./relay.sock");
    return path == QLatin1String("none") ? QString() : path;
}
