#pragma once

#include <cstdio>

namespace tkl::cli {

/// A progress bar drawn in place on a terminal; silent when the stream is not one,
/// so that logs and pipes get no carriage-return clutter.
class TerminalProgress
{
public:
    /// Draws on `stream` only when it is a terminal.
    explicit TerminalProgress(std::FILE *stream);
    ~TerminalProgress();

    TerminalProgress(const TerminalProgress &) = delete;
    TerminalProgress &operator=(const TerminalProgress &) = delete;

    /// Shows `percent` (0 to 100); redraws only when the whole percent changes.
    void update(double percent);

    /// Ends the bar's line so that later messages start on a line of their own.
    void finish();

private:
    std::FILE *m_stream;
    bool m_active;
    bool m_drawn = false;
    int m_shown = -1;
};

} // namespace tkl::cli
