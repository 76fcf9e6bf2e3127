#pragma once

// Helpers for tests that drive the real main window as an operator does
// (header-only): the window with the application object's worker thread,
// typing into a form, lock states, and the message boxes that pop up.

#include "link/iohandler.h"
#include "link/tlinkmanager.h"
#include "link/tlinkthread.h"
#include "session/tapp.h"
#include "ui/kit/tlabelcombox.h"
#include "ui/kit/tlabellineedit.h"
#include "ui/kit/tpushbutton.h"
#include "ui/kit/tserialcombox.h"
#include "ui/tioform.h"
#include "ui/tmainwidget.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace windowtest {

inline const QString &unicastText()
{
    static const QString text = QStringLiteral("Udp单播");
    return text;
}

inline const QString &multicastText()
{
    static const QString text = QStringLiteral("Udp组播");
    return text;
}

// How a test reaches a control. ByHand clicks first, as an operator does:
// the type list opens and closes, an edit takes the focus and must then
// show what was typed. Direct leaves that check to the caller, since it is
// also used to type what an edit refuses.
enum class Reach
{
    Direct,
    ByHand
};

// Replaces the text of an edit by typing.
inline void typeInto(TLabelLineEdit *edit, const QString &text, Reach reach = Reach::Direct)
{
    QLineEdit *line = edit->lineEdit();
    if (reach == Reach::ByHand)
        QTest::mouseClick(line, Qt::LeftButton);
    line->selectAll();
    QTest::keyClick(line, Qt::Key_Backspace);
    QTest::keyClicks(line, text);
    if (reach == Reach::ByHand)
        QCOMPARE(line->text(), text);
}

inline void chooseType(TIoForm *form, const QString &text, Reach reach = Reach::Direct)
{
    QComboBox *types = form->conTypeCombox->comboBox();
    if (reach == Reach::ByHand)
        QTest::mouseClick(types, Qt::LeftButton);
    types->setCurrentText(text);
    if (reach == Reach::ByHand)
        types->hidePopup();
}

inline void setUnicast(TIoForm *form, quint16 localPort, quint16 remotePort,
                       Reach reach = Reach::Direct)
{
    chooseType(form, unicastText(), reach);
    typeInto(form->localIpEdit, QStringLiteral("127.0.0.1"), reach);
    typeInto(form->localPortEdit, QString::number(localPort), reach);
    typeInto(form->remoteIpEdit, QStringLiteral("127.0.0.1"), reach);
    typeInto(form->remotePortEdit, QString::number(remotePort), reach);
}

// A serial port by path, also one that the port list does not show (a
// pseudo terminal made by socat, a path that does not exist).
inline void setSerial(TIoForm *form, const QString &path)
{
    chooseType(form, QStringLiteral("Serial"));
    QComboBox *ports = form->serialCombox;
    if (ports->findText(path) < 0)
        ports->addItem(path);
    ports->setCurrentText(path);
}

// The link is shown as open: only Disconnect reacts.
inline bool locked(const TIoForm *form)
{
    return form->getConFlag() && form->disconnectBtn->isEnabled() && !form->connectBtn->isEnabled();
}

inline bool unlocked(const TIoForm *form)
{
    return !form->getConFlag() && !form->disconnectBtn->isEnabled() &&
           form->connectBtn->isEnabled();
}

// The ground-station form first, then the vehicles' in order.
inline QList<TIoForm *> allForms(TMainWidget *window)
{
    QList<TIoForm *> forms{window->groundStationForm()};
    for (TIoForm *f : window->openVehicleForms())
        forms << f;
    return forms;
}

// The edit shows its text whole: with the caret at the end, the start has
// not scrolled out of sight. The edit scrolls when it paints.
inline bool showsWhole(QLineEdit *edit)
{
    edit->setCursorPosition(0);
    edit->repaint();
    const int start = edit->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
    edit->setCursorPosition(edit->text().size());
    edit->repaint();
    const int end = edit->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
    const int advance = QFontMetrics(edit->font()).horizontalAdvance(edit->text());
    return end - start >= advance - 1 && end < edit->width();
}

// The widget is shown, not squeezed below what it needs, and lies wholly
// inside `area`'s visible rectangle.
inline bool inSight(const QWidget *w, const QWidget *area)
{
    if (!w->isVisible() || w->height() < w->minimumSizeHint().height())
        return false;
    const QRect where(w->mapTo(area, QPoint(0, 0)), w->size());
    return area->rect().contains(where) && !w->visibleRegion().isEmpty();
}

// The message boxes that appear, as the operator reads them: an entry a
// box, with what it showed last (a box takes a line a row while a burst of
// messages goes on). With closeAtOnce the operator closes a box whenever it
// shows instead of waiting the two seconds it stays open by itself; a
// message close behind the last brings the same box back.
class BoxWatcher : public QObject
{
public:
    struct Box
    {
        QMessageBox::Icon icon;
        QString text;
        QStringList lines() const { return text.split(QLatin1Char('\n')); }
    };

    explicit BoxWatcher(bool closeAtOnce = true) : closeAtOnce(closeAtOnce)
    {
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, this, [this] { look(); });
        poll.start();
    }

    QStringList texts() const
    {
        QStringList all;
        for (const Box &b : seen)
            all << b.text;
        return all;
    }
    // A box is still there, shown or not: its burst may take more lines.
    static bool anyLeft()
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<QMessageBox *>(w))
                return true;
        return false;
    }
    static int open()
    {
        int n = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            n += qobject_cast<QMessageBox *>(w) && w->isVisible();
        return n;
    }

    QVector<Box> seen;

private:
    void look()
    {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (!box || !box->isVisible())
                continue;
            int i = boxes.indexOf(box);
            if (i < 0) {
                i = boxes.size();
                boxes.append(box);
                seen.append(Box{});
            }
            seen[i] = {box->icon(), box->text()};
            if (closeAtOnce)
                box->button(QMessageBox::Close)->click();
        }
    }

    bool closeAtOnce;
    QTimer poll;
    QList<QPointer<QMessageBox>> boxes; // by the index in seen; null once freed
};

// The real window with the application object in its worker thread, as
// the program runs them. The ground-station link the first window of a
// process registers is the target of every ground-station frame for the
// rest of the process, so a test that relays data keeps one window.
class Window
{
public:
    Window()
    {
        // As the program does before its first link.
        TLinkThread::preferPlainEventLoops();
        worker = TApp::startWorkerThread();
        widget = std::make_unique<TMainWidget>();
        widget->show();
        linksReady();
    }
    ~Window()
    {
        // As the program ends: every link stops while the window exists.
        TLinkManager::instance()->shutdownAll();
        widget.reset();
        TApp::stopWorkerThread(worker);
    }
    // Waits until every link's thread runs and has served what was queued
    // to it. Requests would wait in the queue anyway; a test waits so that
    // what it looks at next (a link's record, the thread count) is settled.
    static void linksReady()
    {
        for (IOHandler *link : TLinkManager::instance()->linkMap())
            QMetaObject::invokeMethod(
                link, [] {}, Qt::BlockingQueuedConnection);
    }
    // Adds a vehicle with the window's button.
    void addVehicle() const
    {
        QTest::mouseClick(widget->addUavButton(), Qt::LeftButton);
        linksReady();
    }
    TMainWidget *operator->() const { return widget.get(); }
    TMainWidget *get() const { return widget.get(); }
    TIoForm *gcsForm() const { return widget->groundStationForm(); }
    TIoForm *uavForm(int n) const { return widget->openVehicleForms().value(n); }

private:
    QThread *worker = nullptr;
    std::unique_ptr<TMainWidget> widget;
};

} // namespace windowtest
