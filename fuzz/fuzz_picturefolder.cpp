// The readers of a picture folder: the integer entry syntax, the lenient conversion, the fixed
// placement field, placement files (as bytes and from the disk) and the order of the picture
// list. Besides never crashing, each reading must agree with a plain restatement of its rule,
// every value must read back from its own text, and the order must be a strict weak order (a
// sort with anything less can run off its range).
#include "integertext.h"
#include "outpic.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>

#include <QString>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

[[noreturn]] void mismatch(const char *what, const QString &text)
{
    std::fprintf(stderr, "%s disagrees on \"%s\"\n", what, qPrintable(text.toHtmlEscaped()));
    std::abort();
}

// The syntax restated: blanks (space, tab), a sign, decimal digits or hex digits after "$", "x",
// "X", "0x" or "0X", nothing else, and a value in the signed 32-bit range.
std::optional<qint64> referenceValue(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    int base = 10;
    const QStringView rest = text.mid(i);
    if (rest.startsWith(u"0x") || rest.startsWith(u"0X"))
        base = 16, i += 2;
    else if (rest.startsWith(u'$') || rest.startsWith(u'x') || rest.startsWith(u'X'))
        base = 16, i += 1;
    const QStringView digits = text.mid(i);
    if (digits.isEmpty())
        return std::nullopt;
    qint64 value = 0;
    for (QChar c : digits) {
        const char16_t u = c.unicode();
        int d = -1;
        if (u >= u'0' && u <= u'9')
            d = u - u'0';
        else if (base == 16 && u >= u'a' && u <= u'f')
            d = 10 + u - u'a';
        else if (base == 16 && u >= u'A' && u <= u'F')
            d = 10 + u - u'A';
        if (d < 0)
            return std::nullopt;
        value = value * base + d;
        if (value > (qint64(1) << 32))
            value = qint64(1) << 32; // too large either way; stays too large
    }
    value = negative ? -value : value;
    if (value < -(qint64(1) << 31) || value > (qint64(1) << 31) - 1)
        return std::nullopt;
    return value;
}

QString textOf(const uint8_t *data, size_t size)
{
    if (size == 0)
        return {};
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    const qsizetype length = qsizetype(size - 1);
    switch (data[0] % 3) {
    case 0:
        return QString::fromUtf8(bytes, length);
    case 1:
        return QString::fromLatin1(bytes, length);
    default: {
        QString text(length / 2, Qt::Uninitialized);
        memcpy(text.data(), bytes, size_t(text.size()) * 2); // the input need not be aligned
        return text;
    }
    }
}

void checkReading(const QString &text)
{
    const IntegerReading r = readInteger(text);
    const std::optional<qint64> expected = referenceValue(text);
    if (r.ok != expected.has_value() || (r.ok && r.value != *expected))
        mismatch("readInteger", text);
    if (!r.ok && r.value < 0)
        mismatch("readInteger (digits of a misfit)", text);
    const std::optional<qint32> entry = parseIntegerEntry(text);
    if (entry.has_value() != r.ok || (entry && *entry != r.value))
        mismatch("parseIntegerEntry", text);
    if (lenientInteger(text) != r.value)
        mismatch("lenientInteger", text);
    if (r.ok) {
        const qint32 v = r.value;
        const qint64 magnitude = qAbs(qint64(v));
        const QString sign = v < 0 ? QStringLiteral("-") : QString();
        for (const QString &again : {QString::number(v), sign + QLatin1Char('$') + QString::number(magnitude, 16),
                                     sign + QStringLiteral("0X") + QString::number(magnitude, 16).toUpper()})
            if (parseIntegerEntry(again) != v)
                mismatch("reading back", again);
    }
}

// Placement files restated: an optional UTF-8 signature, lines ended by CR LF, CR or LF (text
// behind the last break is a line too), Latin-1 text; two lines at least.
std::optional<outpic::Placement> referencePlacement(QByteArray bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = QString::fromLatin1(bytes).split(lineBreak);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the break ended the last line; nothing follows it
    if (lines.size() < 2)
        return std::nullopt;
    return outpic::Placement{qint16(lenientInteger(lines[0])), qint16(lenientInteger(lines[1]))};
}

void checkPlacementFile(const QByteArray &bytes, bool fromDisk)
{
    const std::optional<outpic::Placement> got = outpic::parsePlacementText(bytes);
    const std::optional<outpic::Placement> want = referencePlacement(bytes);
    if (got.has_value() != want.has_value() ||
        (got && (got->px != want->px || got->py != want->py)))
        mismatch("parsePlacementText", QString::fromLatin1(bytes));

    if (!fromDisk)
        return;
    static const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("000001.txt"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    f.close();
    const outpic::PlacementFile read = outpic::readPlacementFile(path);
    const auto expected = want ? outpic::PlacementFile::Read : outpic::PlacementFile::TooShort;
    if (read.status != expected ||
        (want && (read.placement.px != want->px || read.placement.py != want->py)))
        mismatch("readPlacementFile", QString::fromLatin1(bytes));
}

// Names, one a line: irreflexive, asymmetric and transitive, and sorting by it sorts.
void checkPictureOrder(const QString &text)
{
    QStringList names = text.split(QLatin1Char('\n')).mid(0, 12);
    const auto less = outpic::picturesInOrder;
    for (const QString &a : names) {
        if (less(a, a))
            mismatch("picturesInOrder (irreflexive)", a);
        for (const QString &b : names) {
            if (less(a, b) && less(b, a))
                mismatch("picturesInOrder (asymmetric)", a + u'|' + b);
            for (const QString &c : names)
                if (less(a, b) && less(b, c) && !less(a, c))
                    mismatch("picturesInOrder (transitive)", a + u'|' + b + u'|' + c);
        }
    }
    std::sort(names.begin(), names.end(), less);
    for (qsizetype i = 1; i < names.size(); ++i)
        if (less(names[i], names[i - 1]))
            mismatch("picturesInOrder (sort)", names.join(u'|'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = textOf(data, size);
    checkPictureOrder(text);
    if (size > 0)
        checkPlacementFile(QByteArray(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1)),
                           data[0] & 0x80); // the disk is slow: only some inputs go through it
    checkReading(text);

    const FixedPlacement p = parseFixedPlacement(text);
    const qsizetype comma = text.indexOf(u',');
    const qint16 px = comma < 0 ? 0 : qint16(lenientInteger(QStringView(text).left(comma)));
    const qint16 py = qint16(lenientInteger(comma < 0 ? QStringView(text) : QStringView(text).mid(comma + 1)));
    if (p.px != px || p.py != py)
        mismatch("parseFixedPlacement", text);

    // A placement file is lines of text; each line goes through the same reading.
    for (const QString &line : text.split(QLatin1Char('\n')))
        checkReading(line.endsWith(u'\r') ? line.chopped(1) : line);
    return 0;
}
