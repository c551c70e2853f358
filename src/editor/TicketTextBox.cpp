#include "TicketTextBox.h"

namespace tkl {

namespace {

struct Depth
{
    explicit Depth(int &depth) : m_depth(depth) { ++m_depth; }
    ~Depth() { --m_depth; }
    Depth(const Depth &) = delete;
    Depth &operator=(const Depth &) = delete;
    int &m_depth;
};

} // namespace

bool TicketTextBox::event(QEvent *event)
{
    const Depth depth(m_depth);
    return QPlainTextEdit::event(event);
}

bool TicketTextBox::viewportEvent(QEvent *event)
{
    const Depth depth(m_depth);
    return QPlainTextEdit::viewportEvent(event);
}

} // namespace tkl
