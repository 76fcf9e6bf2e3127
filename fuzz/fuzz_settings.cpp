// Writes arbitrary bytes as the settings file, builds a port form that reads
// its group, saves it through its Connect button, and builds another form
// with the same group: it must show what the first one saved. A third form
// reads a group the save carried over. Aborts on any difference.
//
// The process works in a scratch directory of its own, so the settings file
// of whoever starts it is never touched; relative paths given on the command
// line are made absolute first, so they still mean what the caller meant.

#include "config/tswarmfile.h"
#include "ui/kit/tlabelcombox.h"
#include "ui/kit/tlabellineedit.h"
#include "ui/kit/tpushbutton.h"
#include "ui/kit/tserialcombox.h"
#include "ui/tioform.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

QApplication *app = nullptr;

// Qt's warnings about odd values repeat with every input that has them;
// each is shown once.
void onlyProblems(QtMsgType type, const QMessageLogContext &, const QString &msg)
{
    static QSet<QString> shown;
    if (type != QtDebugMsg && type != QtInfoMsg && !shown.contains(msg)) {
        shown.insert(msg);
        std::fprintf(stderr, "%s\n", qPrintable(msg));
    }
}

[[noreturn]] void fail(const char *what, const QString &saved, const QString &read)
{
    std::fprintf(stderr, "%s: saved \"%s\", read back \"%s\"\n", what, qPrintable(saved),
                 qPrintable(read));
    std::abort();
}

void expectSame(const char *what, const QString &saved, const QString &read)
{
    if (saved != read)
        fail(what, saved, read);
}

// libFuzzer reads and writes its inputs, corpus and artifacts by the paths
// on the command line, after this process has moved to its scratch directory.
void makePathsAbsolute(int *argc, char ***argv, const std::string &from)
{
    static std::vector<std::string> args;
    static std::vector<char *> pointers;
    const auto absolute = [&from](const std::string &path) {
        return path.empty() || path[0] == '/' ? path : from + "/" + path;
    };
    const char *const pathFlags[] = {"-artifact_prefix=", "-exact_artifact_path=", "-dict="};
    bool prefixGiven = false;
    args.emplace_back((*argv)[0]);
    for (int i = 1; i < *argc; ++i) {
        std::string arg = (*argv)[i];
        if (arg[0] != '-') {
            arg = absolute(arg);
        } else {
            for (const char *flag : pathFlags) {
                const std::string f = flag;
                if (arg.compare(0, f.size(), f) == 0)
                    arg = f + absolute(arg.substr(f.size()));
            }
            prefixGiven = prefixGiven || arg.rfind("-artifact_prefix=", 0) == 0;
        }
        args.push_back(arg);
    }
    // Crash files land where the caller started the fuzzer, as usual.
    if (!prefixGiven)
        args.push_back("-artifact_prefix=" + from + "/");
    for (std::string &arg : args)
        pointers.push_back(&arg[0]);
    pointers.push_back(nullptr);
    *argc = static_cast<int>(args.size());
    *argv = pointers.data();
}

int digitValue(uint8_t c, int base)
{
    const int value = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
    return value < base ? value : -1;
}

// QSettings hands every value that reads "@Variant(...)" or "@DateTime(...)",
// once its escapes are undone, to QDataStream, which does not survive a
// corrupt stream: a list that claims four billion entries ends in
// std::bad_alloc and an abort inside Qt (fuzz/qt-crashes/settings/). The
// program never writes such a value. Inputs that may hold one, by a rough
// undoing of escapes and quotes that errs on the side of leaving out, are
// skipped, so that this known crash in Qt does not end every search.
bool mayHoldStreamedVariant(const uint8_t *data, size_t size)
{
    QString text;
    for (size_t i = 0; i < size; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == '"')
            continue;
        if (c != '\\' || i + 1 == size) {
            text += QLatin1Char(c);
            continue;
        }
        const char next = static_cast<char>(data[++i]);
        const bool hex = next == 'x';
        const int base = hex ? 16 : 8;
        if (!hex && (next < '0' || next > '7')) {
            if (next != '\n' && next != '\r')
                text += QLatin1Char(next);
            continue;
        }
        uint value = hex ? 0 : uint(next - '0');
        for (int digit; i + 1 < size && (digit = digitValue(data[i + 1], base)) >= 0; ++i)
            value = value * base + uint(digit);
        text += QChar(ushort(value & 0xffff));
    }
    return text.contains(QLatin1String("@Variant(")) || text.contains(QLatin1String("@DateTime("));
}

void writeSettingsFile(const uint8_t *data, size_t size)
{
    QFile file(QString::fromLatin1(TSwarmFile::defaultPath));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size)) !=
            static_cast<qint64>(size)) {
        std::fprintf(stderr, "cannot write the settings file: %s\n",
                     qPrintable(file.errorString()));
        std::abort();
    }
}

void expectUntouched(const uint8_t *data, size_t size)
{
    QFile file(QString::fromLatin1(TSwarmFile::defaultPath));
    const QByteArray written(reinterpret_cast<const char *>(data), int(size));
    if (!file.open(QIODevice::ReadOnly) || file.readAll() != written) {
        std::fprintf(stderr, "a refused form changed the settings file\n");
        std::abort();
    }
}

// Whatever the file held before, once a form has saved into it the
// settings facility rewrote it whole and must read it back cleanly.
void expectReadable()
{
    QSettings settings(QString::fromLatin1(TSwarmFile::defaultPath), QSettings::IniFormat);
    settings.childGroups();
    if (settings.status() != QSettings::NoError) {
        std::fprintf(stderr, "the saved settings file reads back with status %d\n",
                     int(settings.status()));
        std::abort();
    }
}

// The form's group in the file holds its ten values, as the form shows them.
void expectSaved(const TIoForm &form)
{
    QSettings settings(QString::fromLatin1(TSwarmFile::defaultPath), QSettings::IniFormat);
    settings.beginGroup(form.getName());
    const auto stored = [&settings](const char *key) {
        return settings.value(QLatin1String(key)).toString();
    };
    expectSame("saved ConType", form.conTypeCombox->currentText(), stored("ConType"));
    expectSame("saved SerialPortName", form.serialCombox->currentText(), stored("SerialPortName"));
    expectSame("saved LocalIp", form.localIpEdit->text(), stored("LocalIp"));
    expectSame("saved LocalPort", form.localPortEdit->text(), stored("LocalPort"));
    expectSame("saved LocalIpGroup", form.groupIpEdit->text(), stored("LocalIpGroup"));
    expectSame("saved LocalPortGroup", form.groupPortEdit->text(), stored("LocalPortGroup"));
    expectSame("saved RemoteIp", form.remoteIpEdit->text(), stored("RemoteIp"));
    expectSame("saved RemotePort", QString::number(form.remotePortEdit->text().toUInt(nullptr, 10)),
               stored("RemotePort"));
    expectSame("saved UdpNetInterface", form.netCardCombox->currentText(),
               stored("UdpNetInterface"));
    expectSame("saved LoopBack", QString::number(form.loopBackCheck->checkState()),
               stored("LoopBack"));
}

// The second form shows what the first saved; the remote port is stored as
// the number its text converts to.
void expectRoundTrip(const TIoForm &saved, const TIoForm &read)
{
    expectSame("ConType", saved.conTypeCombox->currentText(), read.conTypeCombox->currentText());
    expectSame("SerialPortName", saved.serialCombox->currentText(),
               read.serialCombox->currentText());
    expectSame("LocalIp", saved.localIpEdit->text(), read.localIpEdit->text());
    expectSame("LocalPort", saved.localPortEdit->text(), read.localPortEdit->text());
    expectSame("LocalIpGroup", saved.groupIpEdit->text(), read.groupIpEdit->text());
    expectSame("LocalPortGroup", saved.groupPortEdit->text(), read.groupPortEdit->text());
    expectSame("RemoteIp", saved.remoteIpEdit->text(), read.remoteIpEdit->text());
    expectSame("RemotePort", QString::number(saved.remotePortEdit->text().toUInt(nullptr, 10)),
               read.remotePortEdit->text());
    expectSame("UdpNetInterface", saved.netCardCombox->currentText(),
               read.netCardCombox->currentText());
    expectSame("LoopBack", QString::number(saved.loopBackCheck->checkState()),
               QString::number(read.loopBackCheck->checkState()));
    if (saved.getConType() != read.getConType())
        fail("shown connection type", QString::number(saved.getConType()),
             QString::number(read.getConType()));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qInstallMessageHandler(onlyProblems);
    makePathsAbsolute(argc, argv, QDir::currentPath().toStdString());
    // Freed at exit, which removes the scratch directory.
    static QTemporaryDir scratch;
    if (!scratch.isValid() || !QDir::setCurrent(scratch.path()) ||
        !QDir().mkpath(QStringLiteral("cfg"))) {
        std::fprintf(stderr, "no scratch directory: %s\n", qPrintable(scratch.errorString()));
        std::abort();
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: among the exit handlers it would be torn down after
    // some of the Qt globals it still uses.
    app = new QApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (mayHoldStreamedVariant(data, size))
        return -1; // not added to the corpus
    writeSettingsFile(data, size);
    {
        TIoForm first(QStringLiteral("Con0"));
        const bool refused = !first.refusals().isEmpty();
        emit first.connectBtn->released();
        // A form whose values no link takes is not saved: the file stays
        // as it was, byte for byte.
        if (refused) {
            expectUntouched(data, size);
            return 0;
        }
        expectReadable();
        expectSaved(first);
        TIoForm second(QStringLiteral("Con0"));
        expectRoundTrip(first, second);
    }
    // Another group, as the save wrote it back.
    TIoForm other(QStringLiteral("Connect"));
    return 0;
}
