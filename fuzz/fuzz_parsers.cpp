// Feeds arbitrary byte streams, cut into arbitrary blocks, to a vehicle's
// parsers and checks every frame they hand on: well formed, and the same
// frames that a plain look at the whole stream finds. Aborts on any
// difference.

#include "protocol/tuavptl.h"
#include "protocol/tvehiclestream.h"

#include <QCoreApplication>
#include <QVector>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>

namespace {

struct Targets : TVehicleStream::Sink
{
    QVector<QByteArray> toGcs;
    QVector<QByteArray> toUavs;
    void gcsFrame(const QByteArray &frame) override { toGcs << frame; }
    void uavFrame(const QByteArray &block) override { toUavs << block; }
};

// Reachable for the whole run, so the leak checker leaves it alone.
Targets *targets = nullptr;

void onlyProblems(QtMsgType type, const QMessageLogContext &, const QString &msg)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        std::fprintf(stderr, "%s\n", qPrintable(msg));
}

[[noreturn]] void fail(const char *what, const QByteArray &frame)
{
    std::fprintf(stderr, "%s: %s\n", what, frame.toHex(' ').constData());
    std::abort();
}

int at(const QByteArray &s, int i)
{
    return static_cast<quint8>(s.at(i));
}

// The ground-station frames of a whole stream, found by looking ahead
// rather than byte by byte.
QVector<QByteArray> gcsFramesOf(const QByteArray &s)
{
    QVector<QByteArray> frames;
    const int n = s.size();
    int i = 0;
    while (i < n) {
        if (at(s, i) != 0xAA) {
            ++i;
            continue;
        }
        if (i + 1 >= n)
            break;
        if (at(s, i + 1) != 0xEC) {
            i += 2; // a bad second byte is used up
            continue;
        }
        if (i + 5 >= n)
            break;
        const int length = at(s, i + 5);
        const int span = length <= TUavPtl::maxGcsPayload ? length + 7 : 254;
        if (i + span > n)
            break;
        if (length <= TUavPtl::maxGcsPayload)
            frames << s.mid(i, span);
        i += span;
    }
    return frames;
}

// The vehicle frames of a whole stream, as they are handed on.
QVector<QByteArray> uavFramesOf(const QByteArray &s)
{
    QVector<QByteArray> frames;
    const int n = s.size();
    int i = 0;
    while (i < n) {
        if (at(s, i) != 0xEB) {
            ++i;
            continue;
        }
        if (i + 1 >= n)
            break;
        if (at(s, i + 1) != 0x91) {
            i += 2;
            continue;
        }
        if (i + TUavPtl::uavFrameSize > n)
            break;
        frames << s.mid(i, TUavPtl::uavFrameSize) +
                      QByteArray(TUavPtl::uavBlockSize - TUavPtl::uavFrameSize, '\0');
        i += TUavPtl::uavFrameSize;
    }
    return frames;
}

void checkGcsFrame(const QByteArray &f)
{
    if (f.size() < 7 || at(f, 0) != 0xAA || at(f, 1) != 0xEC)
        fail("ground-station frame without its header", f);
    if (at(f, 5) > TUavPtl::maxGcsPayload)
        fail("ground-station frame with a length byte above 247", f);
    if (f.size() != at(f, 5) + 7)
        fail("ground-station frame of the wrong length", f);
}

void checkUavFrame(const QByteArray &f)
{
    if (f.size() != TUavPtl::uavBlockSize || at(f, 0) != 0xEB || at(f, 1) != 0x91)
        fail("vehicle frame without its header or of the wrong length", f);
    for (int i = TUavPtl::uavFrameSize; i < f.size(); ++i)
        if (f.at(i) != 0)
            fail("vehicle frame padded with something else than zeros", f);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qInstallMessageHandler(onlyProblems);
    static QCoreApplication app(*argc, *argv);
    targets = new Targets;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Block lengths come from the end of the input, the stream from the rest.
    FuzzedDataProvider input(data, size);
    QVector<int> cuts(input.ConsumeIntegralInRange<int>(0, 16));
    for (int &cut : cuts)
        cut = input.ConsumeIntegralInRange<int>(0, 300);
    const std::string rest = input.ConsumeRemainingBytesAsString();
    const QByteArray stream(rest.data(), static_cast<int>(rest.size()));

    // A fresh stream: its parsers start from the beginning.
    TVehicleStream source;
    int pos = 0;
    for (int cut : qAsConst(cuts)) {
        source.feed(stream.mid(pos, cut), *targets);
        pos = qMin(pos + cut, stream.size());
    }
    source.feed(stream.mid(pos), *targets);

    for (const QByteArray &f : qAsConst(targets->toGcs))
        checkGcsFrame(f);
    for (const QByteArray &f : qAsConst(targets->toUavs))
        checkUavFrame(f);
    if (targets->toGcs != gcsFramesOf(stream))
        fail("ground-station frames differ from the reference in the stream", stream);
    if (targets->toUavs != uavFramesOf(stream))
        fail("vehicle frames differ from the reference in the stream", stream);
    targets->toGcs.clear();
    targets->toUavs.clear();
    return 0;
}
