#include "libraryinput.h"
#include "inputcursor.h"

#include <QtEndian>

namespace fuzzinput {

namespace {
constexpr int kFront = 1080;

QByteArray builtFront(const char *count)
{
    QByteArray front(kFront, '\0');
    const QByteArray title("#ILIB v1.0-ORBENA Entertainment inc.");
    front.replace(0, title.size(), title);
    memcpy(front.data() + 44, count, 4);
    qToLittleEndian<qint32>(256, front.data() + 48);
    qToLittleEndian<qint32>(1024, front.data() + 52);
    for (int i = 0; i < 256; ++i) { // a palette with every entry different
        front[56 + 4 * i] = char(i);
        front[57 + 4 * i] = char(255 - i);
        front[58 + 4 * i] = char(i * 7);
    }
    return front;
}
} // namespace

LibraryInput unpackLibrary(const char *data, size_t size)
{
    LibraryInput in;
    if (size < 3)
        return in;
    const quint8 flags = quint8(data[0]);
    in.fileType = (flags & 3) == 3 ? 0 : flags & 3;
    in.wholeLibrary = flags & 4;
    in.noIndex = flags & 8;
    in.readOnly = flags & 16;
    in.hasJournal = (flags & 32) && size >= 5;
    InputCursor input(data + (in.hasJournal ? 5 : 3), data + size);
    in.index = input.take(qFromLittleEndian<quint16>(data + 1));
    if (in.hasJournal)
        in.journal = input.take(qFromLittleEndian<quint16>(data + 3));
    const QByteArray rest = input.take(input.left());
    if (in.wholeLibrary) {
        in.library = rest;
    } else {
        char count[4] = {};
        memcpy(count, rest.constData(), qMin<size_t>(4, size_t(rest.size())));
        in.library = builtFront(count) + rest.mid(4);
    }
    return in;
}

QByteArray packLibrary(const LibraryInput &input)
{
    const bool compact = !input.wholeLibrary && input.library.size() >= kFront;
    quint8 flags = quint8(input.fileType & 3);
    if (!compact)
        flags |= 4;
    if (input.noIndex)
        flags |= 8;
    if (input.readOnly)
        flags |= 16;
    if (input.hasJournal)
        flags |= 32;
    const QByteArray index = input.index.left(0xFFFF);
    const QByteArray journal = input.journal.left(0xFFFF);
    QByteArray out(input.hasJournal ? 5 : 3, '\0');
    out[0] = char(flags);
    qToLittleEndian<quint16>(quint16(index.size()), out.data() + 1);
    if (input.hasJournal)
        qToLittleEndian<quint16>(quint16(journal.size()), out.data() + 3);
    out += index;
    if (input.hasJournal)
        out += journal;
    if (compact)
        out += input.library.mid(44, 4) + input.library.mid(kFront);
    else
        out += input.library;
    return out;
}

} // namespace fuzzinput
