#include "TerminalProgress.h"

#include <algorithm>
#include <cmath>
#include <string>

#include <unistd.h>

namespace tkl::cli {

namespace {
constexpr int BarWidth = 40;
}

TerminalProgress::TerminalProgress(std::FILE *stream)
    : m_stream(stream)
    , m_active(stream && ::isatty(::fileno(stream)) == 1)
{
}

TerminalProgress::~TerminalProgress()
{
    finish();
}

void TerminalProgress::update(double percent)
{
    if (!m_active || !std::isfinite(percent))
        return;
    const int whole = std::clamp(int(percent), 0, 100);
    if (whole == m_shown)
        return;
    m_shown = whole;
    const int filled = whole * BarWidth / 100;
    std::string bar = "\r[" + std::string(size_t(filled), '#') + std::string(size_t(BarWidth - filled), ' ') + "] ";
    std::fprintf(m_stream, "%s%3d%%", bar.c_str(), whole);
    std::fflush(m_stream);
    m_drawn = true;
}

void TerminalProgress::finish()
{
    if (m_drawn) {
        std::fputc('\n', m_stream);
        std::fflush(m_stream);
        m_drawn = false;
    }
}

} // namespace tkl::cli
