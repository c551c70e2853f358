// Whole-process figures of the command-line tool: check over 1,000 layout files, the
// download of a full layout against a check of the same file, and show with and without
// a lock file left behind by a program killed while it created it. First, two inputs
// that once made check slow: a printer code of 600,000 unclosed "[", and a 10 KB
// network description of 100 large ports (time and peak memory of the process).
//
//   bench_cli [files=1000] [runs=30]
//   bench_cli traps                               (the two inputs only)
//   TKLCLI=/path/to/another/tklcli bench_cli ...   (to compare with another build)

#include "files/LayoutData.h"
#include "files/LayoutWriter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

using namespace tkl;

namespace {

// Every slot defined, 100 lines of 40 characters: the most a port of the sample network stores.
LayoutData fullLayout(int variant)
{
    static const char *const variables[] = {"Scale1.NetWeight", "Scale1.GrossWeight", "Scale1.Tare", "Kiln.Zone1Temp",
                                            "Kiln.Zone2Temp", "Batching.BatchCounter"};
    static const int addresses[][6] = {{3, 120, 0, 4, 0, 17}, {3, 121, 4, 4, 0, 17}, {3, 122, 8, 4, 0, 17},
                                       {5, 200, 0, 4, 0, 33}, {5, 201, 4, 4, 0, 33}, {6, 300, 0, 2, 0, 9}};
    LayoutData l;
    l.EditorWidth = 5170;
    l.EditorHeight = 3155;
    l.TicketLines = 100;
    QStringList lines;
    for (int i = 0; i < 100; ++i)
        lines << QStringLiteral("Line %1 of ticket %2 ").arg(i + 1, 3).arg(variant).leftJustified(40, u'.');
    l.text = lines.join(QStringLiteral("\r\n"));
    for (int slot = 1; slot <= 30; ++slot) {
        const int v = slot % 6;
        const int *a = addresses[v];
        l.UpdateBoxes[slot] = UpdateBox{QString::fromLatin1(variables[v]), quint8(a[0]), qint16(a[1]), qint16(a[2]),
                                        qint16(a[3]), quint8(a[4]), quint8(a[5]), 0, 8, 1, true, qint16(slot * 3), 30};
        l.BoxLoaded[slot] = 1;
    }
    l.StartCode = QStringLiteral("[27]@[27]E");
    l.StopCode = QStringLiteral("[12]");
    return l;
}

bool writeLayout(const QString &path, const LayoutData &layout)
{
    const auto bytes = LayoutWriter::toBytes(layout);
    if (!bytes.ok())
        return false;
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(*bytes) == bytes->size();
}

QString toolPath()
{
    const QString other = qEnvironmentVariable("TKLCLI");
    return other.isEmpty() ? QStringLiteral(TKLCLI_PATH) : other;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// One run of the tool with the environment of this process, its output thrown away:
// wall milliseconds, peak resident memory of that process in MB, and its exit status.
struct Measured
{
    double ms = -1;
    double peakMb = 0;
    int exitCode = -1;
};

Measured measure(const QStringList &args)
{
    QList<QByteArray> owned{toolPath().toLocal8Bit()};
    for (const QString &a : args)
        owned << a.toLocal8Bit();
    std::vector<char *> argv;
    for (QByteArray &a : owned)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    Measured m;
    QElapsedTimer t;
    t.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        rusage usage{};
        if (wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status)) {
            m.ms = t.nsecsElapsed() / 1e6;
            m.peakMb = usage.ru_maxrss / 1024.0;
            m.exitCode = WEXITSTATUS(status);
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    return m;
}

// A description of `count` ports of the given sizes on one printer module.
QByteArray portsDescription(int count, int elements, int lines, int stringLength)
{
    QByteArray json = R"({ "nodes": [ { "name": "Prn", "address": "X42", "capabilities": "65", "variables": [] } ],
  "ports": [)";
    for (int i = 0; i < count; ++i) {
        json += QStringLiteral(R"(%1{ "name": "P%2", "node": "Prn", "updateElements": %3, "ticketLines": %4, "stringLength": %5 })")
                    .arg(i ? QStringLiteral(",\n    ") : QStringLiteral("\n    "))
                    .arg(i)
                    .arg(elements)
                    .arg(lines)
                    .arg(stringLength)
                    .toUtf8();
    }
    return json + " ] }\n";
}

void printTrap(const char *what, const Measured &m)
{
    std::printf("%-62s %9.1f ms %8.1f MB peak (exit %d)\n", what, m.ms, m.peakMb, m.exitCode);
}

// The two inputs that once made check take minutes and a gigabyte.
void traps(QTemporaryDir &dir)
{
    LayoutData brackets = fullLayout(0);
    brackets.StartCode = QString(600000, u'[');
    const QString bracketFile = dir.filePath(QStringLiteral("brackets.txt"));
    const QString fullFile = dir.filePath(QStringLiteral("full.txt"));
    if (!writeLayout(bracketFile, brackets) || !writeLayout(fullFile, fullLayout(0)))
        return;
    printTrap("check, start code of 600,000 unclosed \"[\"", measure({QStringLiteral("check"), bracketFile}));

    // 100 ports as large as a description could once ask for (about 10 KB), and 100 as
    // large as a device's 65,536 registers allow.
    const QString network = dir.filePath(QStringLiteral("ports.json"));
    const QByteArray oldLarge = portsDescription(100, 999, 32767, 32767);
    const QByteArray largest = portsDescription(100, 30, 32555, 1);
    for (const auto &[what, json] : {std::pair{"check, 100 ports of 999 elements, 32767 lines of 32767", oldLarge},
                                     std::pair{"check, 100 ports of 30 elements, 32555 lines of 1", largest}}) {
        writeFile(network, json);
        qputenv("TKL_NETWORK", network.toLocal8Bit());
        char label[128];
        std::snprintf(label, sizeof label, "%s (%lld bytes)", what, static_cast<long long>(json.size()));
        printTrap(label, measure({QStringLiteral("check"), fullFile}));
    }
    qunsetenv("TKL_NETWORK");
}

// Milliseconds of one whole run of the tool; negative when it did not finish normally.
double runTool(const QStringList &args, QProcessEnvironment env, int *exitCode)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start(toolPath(), args);
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit)
        return -1;
    *exitCode = p.exitCode();
    return t.nsecsElapsed() / 1e6;
}

// check of every file in one process, then in one process each.
bool checkMany(const QStringList &files, const QProcessEnvironment &env)
{
    int status = 0;
    const double all = runTool(QStringList{QStringLiteral("check")} + files, env, &status);
    std::printf("check of %lld full layouts in one process: %.1f ms, %.3f ms per file (exit %d)\n",
                static_cast<long long>(files.size()), all, all / files.size(), status);

    QElapsedTimer each;
    each.start();
    for (const QString &file : files) {
        if (runTool({QStringLiteral("check"), file}, env, &status) < 0 || status != 0) {
            std::fprintf(stderr, "check of %s failed (exit %d)\n", qPrintable(file), status);
            return false;
        }
    }
    const double eachMs = each.nsecsElapsed() / 1e6;
    std::printf("check of %lld full layouts, one process each: %.1f ms, %.2f ms per file\n",
                static_cast<long long>(files.size()), eachMs, eachMs / files.size());
    return true;
}

// One process per file, alternating check and download of the same file, so that both
// see the same machine load.
bool checkAgainstDownload(const QString &full, const QProcessEnvironment &env, int runs)
{
    double check = 0, download = 0;
    for (int i = 0; i < runs; ++i) {
        int s1 = 0, s2 = 0;
        const double c = runTool({QStringLiteral("check"), full}, env, &s1);
        const double d = runTool({QStringLiteral("download"), full, QStringLiteral("--port"), QStringLiteral("Printer1")},
                                 env, &s2);
        if (c < 0 || d < 0 || s2 != 0) {
            std::fprintf(stderr, "a run failed (check exit %d, download exit %d)\n", s1, s2);
            return false;
        }
        check += c;
        download += d;
    }
    std::printf("check of one full layout, whole process:    %.2f ms (mean of %d)\n", check / runs, runs);
    std::printf("download of the same layout, whole process: %.2f ms (mean of %d)\n", download / runs, runs);
    std::printf("download / check: %.2f\n", download / check);
    return true;
}

// show, alternately with no lock file and with the worst case: an empty lock file
// created just before, younger than the time after which a lock nobody holds is taken over.
bool showWithLeftOverLock(const QTemporaryDir &dir, const QProcessEnvironment &env, int runs)
{
    const QStringList show{QStringLiteral("show"), QStringLiteral("--port"), QStringLiteral("Printer1")};
    const QString lock = dir.filePath(QStringLiteral("devices.json.lock"));
    double free = 0, leftOver = 0;
    for (int i = 0; i < runs; ++i) {
        int s1 = 0, s2 = 0;
        const double f = runTool(show, env, &s1);
        QFile(lock).open(QIODevice::WriteOnly);
        const double l = runTool(show, env, &s2);
        if (f < 0 || l < 0 || s1 != 0 || s2 != 0) {
            std::fprintf(stderr, "a show failed (exit %d, with a left-over lock %d)\n", s1, s2);
            return false;
        }
        free += f;
        leftOver += l;
    }
    std::printf("show, whole process:                         %.2f ms (mean of %d)\n", free / runs, runs);
    std::printf("show after an empty lock file just left over: %.2f ms (mean of %d)\n", leftOver / runs, runs);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int fileCount = argc > 1 ? std::max(1, atoi(argv[1])) : 1000;
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 30;

    QTemporaryDir dir;
    qputenv("TKL_DEVICE_STORE", dir.filePath(QStringLiteral("devices.json")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit());
    traps(dir);
    if (argc > 1 && qstrcmp(argv[1], "traps") == 0)
        return 0;

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TKL_DEVICE_STORE"), dir.filePath(QStringLiteral("devices.json")));
    env.remove(QStringLiteral("TKL_NETWORK"));  // the built-in sample
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));

    QStringList files;
    for (int i = 0; i < fileCount; ++i) {
        const QString path = dir.filePath(QStringLiteral("layout%1.txt").arg(i, 4, 10, QLatin1Char('0')));
        if (!writeLayout(path, fullLayout(i))) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        files << path;
    }
    const bool ok = checkMany(files, env) && checkAgainstDownload(files.first(), env, runs)
        && showWithLeftOverLock(dir, env, runs);
    return ok ? 0 : 1;
}
