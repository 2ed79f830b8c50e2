// The readers of a picture folder's text: the integer entry syntax, the lenient conversion of
// placement files and the fixed placement field. Besides never crashing, each reading must agree
// with a plain restatement of the syntax, and every value must read back from its own text.
#include "integertext.h"

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = textOf(data, size);
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
