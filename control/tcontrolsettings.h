#pragma once

#include <QJsonObject>
#include <QString>

struct TLinkSettings;

// Settings keys in a control request, as the settings file holds them: the
// same keys, read and checked the same way, refused in the same words.
class TControlSettings
{
public:
    // The keys of `request` other than cmd and link applied over `values`
    // of link `id`; false with the refusal, named after the request's
    // command.
    static bool apply(const QJsonObject &request, int id, TLinkSettings &values, QString &error);
    // "an array", "a number", ...: what a request held instead.
    static QString typeName(const QJsonValue &value);
};
