#pragma once

#include <QWidget>

class TPushButton;
class TRelaySession;

// "Radio…" beside "Record": asks for a radio file and puts it between the
// links until pressed again; the file is remembered as [Radio] File= in the
// settings file and put back at the next start. A file that does not read
// is said in a box and the links stay as they were.
class TRadioButton : public QWidget
{
    Q_OBJECT
public:
    explicit TRadioButton(TRelaySession &session, QWidget *parent = nullptr);

    TPushButton *button() const { return radioBtn; }
    // Without asking; false when the file does not read.
    bool load(const QString &path);
    void unload();
    // The file stored in the settings file, empty for none.
    static QString storedFile();

private:
    void onPressed();
    static void store(const QString &path);

    TRelaySession &session;
    TPushButton *radioBtn = nullptr;
};
