#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <QVector>

#include <functional>

class TLinkRow;
class TRelaySession;

// The window's one timer for the rows' live lines: twice a second every
// row is given its link's figures, and a row changes only where a figure
// did. Resets asked for in a row's menu take effect at once.
class TCounterRefresh : public QObject
{
    Q_OBJECT
public:
    using Rows = std::function<QVector<TLinkRow *>()>;
    TCounterRefresh(Rows rows, TRelaySession &session, QObject *parent = nullptr);

    static constexpr int intervalMs = 500;
    // Listens to the row's reset requests.
    void watch(TLinkRow *row);
    void refresh();

private:
    Rows rows;
    TRelaySession &session;
    QTimer timer;
    QElapsedTimer clock;
};
