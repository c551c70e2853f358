#pragma once

#include <QString>
#include <QTextStream>

#include <cstdio>

namespace tkl::cli {

/// Where a subcommand writes: results on `out`, progress and messages on `err`.
struct Console
{
    QTextStream out{stdout};
    QTextStream err{stderr};
    std::FILE *errFile = stderr;  ///< for the progress bar, which needs to know if it is a terminal

    /// One message line on standard error, flushed at once so that it keeps its
    /// place among the progress output.
    void message(const QString &text)
    {
        out.flush();
        err << text << '\n';
        err.flush();
    }
};

} // namespace tkl::cli
