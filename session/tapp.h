#pragma once

#include <QByteArray>
#include <QObject>
#include <QVariant>

class QThread;

// The application object: the channel on which every link reports its
// state, and a small set of routing slots reachable by name. It lives in a
// worker thread of its own once main() has started.
class TApp : public QObject
{
    Q_OBJECT
public:
    explicit TApp(QObject *parent = nullptr);

    static TApp *instance();

    // Moves the registered instance into a new, running worker thread.
    static QThread *startWorkerThread();
    // Quits and joins the worker thread, hands the application object back
    // to the calling thread and frees the thread object.
    static void stopWorkerThread(QThread *worker);

signals:
    void TAppEvent(int event, int id = 0, QVariant var = QVariant(0));

public slots:
    void recUavData(QByteArray b, QVariant device = QVariant(0));
    void decodeToGcs(QByteArray b, QVariant = QVariant(0));
    void decodeToUav(QByteArray b, QVariant device = QVariant(0));

private slots:
    void handleTAppEvent(int event, int id = 0, QVariant var = QVariant(0));

private:
    static TApp *registered;
};
