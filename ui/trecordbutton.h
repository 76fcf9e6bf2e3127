#pragma once

#include <QWidget>

class QLabel;
class QSpinBox;
class QTimer;
class TPushButton;
class TRelaySession;

// "Record" beside the window's buttons: asks for a file, then records every
// block of every link into it until pressed again, showing a dot and the
// file's size meanwhile. A file that cannot be made is said in a box and the
// relay goes on.
class TRecordButton : public QWidget
{
    Q_OBJECT
public:
    explicit TRecordButton(TRelaySession &session, QWidget *parent = nullptr);
    ~TRecordButton() override;

    TPushButton *button() const { return recordBtn; }
    QLabel *sizeLabel() const { return size; }
    // Megabytes at which recording stops; 0 for no limit.
    QSpinBox *limitBox() const { return limit; }
    // Without asking; false when the file cannot be made.
    bool recordTo(const QString &path);
    void stop();
    static QString defaultPath();

private:
    void onPressed();
    void showSize();

    TRelaySession &session;
    TPushButton *recordBtn = nullptr;
    QLabel *size = nullptr;
    QSpinBox *limit = nullptr;
    QTimer *sizeTimer = nullptr;
    QString path;
};
