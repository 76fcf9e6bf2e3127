#pragma once

#include <QString>

class TIoForm;

// One port form's group of the settings file: what the form shows is
// written on every Connect and read back when a form of the same name is
// built. Each access opens the file anew; nothing is cached.
class TFormSettings
{
public:
    // Applies the form's group; without one, the form follows the row
    // `above` (when given) by the file's port step. One read of the file.
    static void load(TIoForm &form, const TIoForm *above);
    static void save(const TIoForm &form);
    // The settings file: ./cfg/app.ini, relative to the working directory,
    // unless the command line named another.
    static QString path();
    static void setPath(const QString &path);
};
