#pragma once

// Runs one of the built programs the way operators do: a process of its own, with a
// network description and a device store in a folder of the test's own, and nothing of
// the user's configuration.

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <csignal>
#include <functional>

namespace tkl::test {

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

inline QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// Makes writes past `bytes` fail as on a full disk (unlike permissions, this holds for
/// root too); returns the limit it replaced.
inline rlimit limitFileSize(rlim_t bytes)
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    const rlimit small{.rlim_cur = bytes, .rlim_max = before.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
    return before;
}

struct ToolRun
{
    int exitCode = -1;
    bool crashed = false;
    QByteArray out;
    QByteArray err;
};

/// A folder with network.json and devices.json for the programs it runs.
class ToolFolder
{
public:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString networkPath() const { return path(QStringLiteral("network.json")); }
    QString storePath() const { return path(QStringLiteral("devices.json")); }
    /// The file the programs run from now on read as standard input.
    void setInput(const QString &file) { m_input = file; }

    /// `childSetup` runs in the program's process before it starts.
    ToolRun run(const QString &program, const QStringList &args, const std::function<void()> &childSetup = {}) const
    {
        QProcess process;
        if (childSetup)
            process.setChildProcessModifier(childSetup);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TKL_NETWORK"), networkPath());
        env.insert(QStringLiteral("TKL_DEVICE_STORE"), storePath());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("data")));
        process.setProcessEnvironment(env);
        if (!m_input.isEmpty())
            process.setStandardInputFile(m_input);
        process.start(program, args);
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished();
        }
        const bool crashed = process.exitStatus() != QProcess::NormalExit;
        return {crashed ? -1 : process.exitCode(), crashed, process.readAllStandardOutput(),
                process.readAllStandardError()};
    }

private:
    QTemporaryDir m_dir;
    QString m_input;
};

} // namespace tkl::test
