#pragma once

#include <QObject>
#include <QVariant>

// Where every link tells what happens to it (IOHandler::LinkEvent codes with
// the link's id and its record or an error text), from the link's own
// thread. The application object hands each one on as its TAppEvent; the
// layers above the links listen here, so the links need nothing above them.
class TLinkEvents : public QObject
{
    Q_OBJECT
public:
    static TLinkEvents *instance();

signals:
    void linkEvent(int event, int id, QVariant var);

private:
    TLinkEvents() = default;
};
