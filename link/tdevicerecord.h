#pragma once

#include "link/iohandler.h"

#include <QVariant>

// How a link's record travels: registered for queued signals, packed in and
// out of QVariants. IOHandler's static helpers of the same names forward
// here.
class TDeviceRecord
{
public:
    static void registerMetaTypes();
    // The stored record, else a conversion, else a value-initialised record.
    static IOHandler::DeviceInfo fromVariant(const QVariant &device);
};
