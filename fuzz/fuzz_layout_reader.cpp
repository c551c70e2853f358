// Feeds arbitrary bytes to the layout reader. Besides crashes, leaks and hangs it
// checks that whatever reads also writes and reads back unchanged.
#include "files/LayoutLines.h"
#include "files/LayoutReader.h"
#include "files/LayoutWriter.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace tkl;

namespace {

[[noreturn]] void fault(const char *what)
{
    std::fprintf(stderr, "layout fuzz: %s\n", what);
    std::abort();
}

// The only layouts the writer may refuse after a read: a single-line value with an
// LF in it (a lone LF does not end a line in the file, but is refused on writing).
bool refusalAllowed(const LayoutData &d, const LayoutError &e)
{
    const auto hasLf = [](const QString &s) { return s.contains(u'\n'); };
    if (e.line == LayoutLines::StartCode)
        return hasLf(d.StartCode);
    if (e.line == LayoutLines::StopCode)
        return hasLf(d.StopCode);
    if (e.line >= LayoutLines::FirstBlock && e.line < LayoutLines::StartCode
        && (e.line - LayoutLines::FirstBlock) % LayoutLines::BlockSize == LayoutLines::VarName)
        return hasLf(d.UpdateBoxes[(e.line - LayoutLines::FirstBlock) / LayoutLines::BlockSize + 1].VarName);
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto r = LayoutReader::read(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (!r.ok()) {
        if (r.error().message.isEmpty())
            fault("a failed read without a message");
        return 0;
    }

    const auto bytes = LayoutWriter::toBytes(*r);
    if (!bytes.ok()) {
        if (!refusalAllowed(*r, bytes.error()))
            fault("a layout that was read cannot be written");
        return 0;
    }
    const auto again = LayoutReader::read(*bytes);
    if (!again.ok())
        fault("a written layout does not read back");
    if (!(*again == *r))
        fault("a written layout reads back different");
    return 0;
}
