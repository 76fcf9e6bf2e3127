#include "config/trunoptions.h"

#include "config/tswarmfile.h"

QString TRunOptions::configPath() const
{
    return config.isEmpty() ? QString::fromLatin1(TSwarmFile::defaultPath) : config;
}
