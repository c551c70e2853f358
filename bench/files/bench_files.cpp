// Times reading and writing a full layout (30 defined fields, 1,000 text lines)
// through the layout reader and writer, against moving the same bytes with a bare
// QFile in the same run. Prints the figures; it is not a test.
#include "files/LayoutFile.h"
#include "files/LayoutReader.h"
#include "files/LayoutWriter.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

using namespace tkl;

namespace {

LayoutData fullLayout()
{
    LayoutData d;
    d.EditorWidth = 9490;
    d.EditorHeight = 5150;
    d.TicketLines = 1000;
    for (int i = 1; i <= 30; ++i) {
        d.BoxLoaded[i] = 1;
        UpdateBox &b = d.UpdateBoxes[i];
        b.VarName = QStringLiteral("Plant.Line%1.Scale.NetWeight").arg(i);
        b.NodeAdr = quint8(i);
        b.SWNo = qint16(100 + i);
        b.Offset = qint16(4 * i);
        b.Typ = 4;
        b.BitNo = 0;
        b.Code = 17;
        b.DevType = 2;
        b.Chars = 9;
        b.Digits = 2;
        b.DataIn = true;
        b.Linie = qint16(i * 30);
        b.Pos = 20;
    }
    d.StartCode = QStringLiteral("[27]E[27](s12H");
    d.StopCode = QStringLiteral("[12]");
    QStringList lines;
    for (int i = 0; i < 1000; ++i)
        lines << QStringLiteral("Line %1: Net weight ........... %2 kg \u00e9\u20ac").arg(i, 4).arg(i * 7 % 1000);
    d.text = lines.join(QStringLiteral("\r\n"));
    return d;
}

// Time of one call in microseconds: the fastest of `rounds` batches of `perRound`
// calls, since on a shared machine other work only ever adds time.
double timeIt(const std::function<void()> &op, int rounds = 30, int perRound = 40)
{
    op(); // warm up caches and allocations
    std::vector<double> samples;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < perRound; ++i)
            op();
        samples.push_back(double(t.nsecsElapsed()) / 1000.0 / perRound);
    }
    return *std::min_element(samples.begin(), samples.end());
}

void fail(const char *what)
{
    std::fprintf(stderr, "bench_files: %s\n", what);
    std::exit(1);
}

// Microseconds per operation of each way a layout is written and read.
struct Figures
{
    double bufWrite, bufRead, fileWrite, bareWrite, fileRead, bareRead, save, bareSave, open;
};

Figures timeOperations(const LayoutData &layout, QByteArray &bytes, const QString &layoutPath, const QString &barePath)
{
    Figures f{};
    // In memory.
    f.bufWrite = timeIt([&] {
        QBuffer b;
        b.open(QIODevice::WriteOnly);
        if (!LayoutWriter::write(b, layout).ok())
            fail("write");
    });
    f.bufRead = timeIt([&] {
        QBuffer b(&bytes);
        b.open(QIODevice::ReadOnly);
        if (!LayoutReader::read(b).ok())
            fail("read");
    });

    // Through a plain file, layout against bare bytes.
    f.fileWrite = timeIt([&] {
        QFile file(layoutPath);
        if (!file.open(QIODevice::WriteOnly) || !LayoutWriter::write(file, layout).ok())
            fail("file write");
    });
    f.bareWrite = timeIt([&] {
        QFile file(barePath);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            fail("bare write");
    });
    f.fileRead = timeIt([&] {
        QFile file(layoutPath);
        if (!file.open(QIODevice::ReadOnly) || !LayoutReader::read(file).ok())
            fail("file read");
    });
    f.bareRead = timeIt([&] {
        QFile file(barePath);
        if (!file.open(QIODevice::ReadOnly) || file.readAll().size() != bytes.size())
            fail("bare read");
    });

    // The commands' entry points: the save replaces the file atomically (and syncs),
    // so its fair comparison is a bare QSaveFile of the same bytes.
    f.save = timeIt([&] {
        if (!saveLayoutFile(layoutPath, layout).ok())
            fail("save");
    }, 7, 5);
    f.bareSave = timeIt([&] {
        QSaveFile file(barePath);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
            fail("bare save");
    }, 7, 5);
    f.open = timeIt([&] {
        if (!readLayoutFile(layoutPath).ok())
            fail("open");
    });
    return f;
}

void measure(const char *heading)
{
    QTemporaryDir dir;
    if (!dir.isValid())
        fail("no temporary folder");
    const QString layoutPath = dir.filePath(QStringLiteral("layout.txt"));
    const QString barePath = dir.filePath(QStringLiteral("bare.txt"));

    const LayoutData layout = fullLayout();
    const auto stored = LayoutWriter::toBytes(layout);
    if (!stored.ok())
        fail("the layout was refused");
    QByteArray bytes = *stored;
    if (!saveLayoutFile(layoutPath, layout).ok())
        fail("the layout could not be saved");
    if (const auto back = readLayoutFile(layoutPath); !back.ok() || !(*back == layout))
        fail("the layout does not read back");
    const Figures f = timeOperations(layout, bytes, layoutPath, barePath);

    std::printf("\n%s\nFull layout: 30 defined fields, 1000 text lines, %lld bytes\n", heading,
                static_cast<long long>(bytes.size()));
    std::printf("%-40s %10s %10s %8s\n", "operation", "us/op", "bare us", "ratio");
    const auto row = [](const char *name, double us, double bare) {
        if (bare > 0)
            std::printf("%-40s %10.1f %10.1f %7.2fx\n", name, us, bare, us / bare);
        else
            std::printf("%-40s %10.1f %10s %8s\n", name, us, "-", "-");
    };
    row("write to QBuffer (LayoutWriter)", f.bufWrite, 0);
    row("read from QBuffer (LayoutReader)", f.bufRead, 0);
    row("write to QFile vs bare QFile write", f.fileWrite, f.bareWrite);
    row("read from QFile vs bare QFile readAll", f.fileRead, f.bareRead);
    row("saveLayoutFile vs bare QSaveFile", f.save, f.bareSave);
    row("readLayoutFile vs bare QFile readAll", f.open, f.bareRead);
}

// One save and one open of a layout with about 50 MB of text, a few of its lines
// megabytes long: the time must grow with the size and nothing else.
void measureLarge()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("large.txt"));
    LayoutData layout = fullLayout();
    QString text;
    text.reserve(52 * 1024 * 1024);
    for (int i = 0; i < 1000000; ++i)
        text += QStringLiteral("Net weight ........ 12345.6 kg\r\n");
    for (int i = 0; i < 4; ++i)
        text += QString(5 * 1024 * 1024, QChar(u'a' + i)) + QStringLiteral("\r\n");
    layout.text = text;

    QElapsedTimer t;
    t.start();
    if (!saveLayoutFile(path, layout).ok())
        fail("large save");
    const double save = double(t.nsecsElapsed()) / 1e6;
    t.restart();
    const auto r = readLayoutFile(path);
    const double open = double(t.nsecsElapsed()) / 1e6;
    if (!r.ok() || r->text.size() != text.size())
        fail("large open");
    // The least any reader that hands out text must do: read the bytes and widen them.
    QFile f(path);
    t.restart();
    if (!f.open(QIODevice::ReadOnly))
        fail("large bare read");
    const QString bareText = QString::fromLatin1(f.readAll());
    const double bare = double(t.nsecsElapsed()) / 1e6;
    if (bareText.isEmpty())
        fail("large bare read");
    std::printf("\nLarge layout (default heap): %lld MB, 1,000,000 short lines and 4 lines of 5 MB\n",
                static_cast<long long>(QFileInfo(path).size() / (1024 * 1024)));
    std::printf("%-40s %10.1f ms\n", "saveLayoutFile", save);
    std::printf("%-40s %10.1f ms\n", "readLayoutFile", open);
    std::printf("%-40s %10.1f ms   ratio %.2fx\n", "bare QFile readAll + fromLatin1", bare, open / bare);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    measureLarge();
    measure("Default heap: glibc returns freed memory to the system after every read of\n"
            "more than 128 KB, so each read pays for mapping fresh pages.");
#ifdef __GLIBC__
    // What an editor that keeps running sees: the heap stays mapped. Both sides of
    // every ratio run under the same setting.
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
    mallopt(M_MMAP_THRESHOLD, 256 * 1024 * 1024);
    measure("Steady heap: memory kept by the allocator between operations.");
#endif
    return 0;
}
