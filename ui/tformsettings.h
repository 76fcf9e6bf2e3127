#pragma once

#include <QString>

class TIoForm;

// One port form's group of the settings file: what the form shows is
// written on every Connect and read back when a form of the same name is
// built. Each access opens the file anew; nothing is cached.
class TFormSettings
{
public:
    // Applies the form's group; false when the file holds none.
    static bool load(TIoForm &form);
    static void save(const TIoForm &form);
    // The settings file: ./cfg/app.ini, relative to the working directory,
    // unless the command line named another.
    static QString path();
    static void setPath(const QString &path);
};
