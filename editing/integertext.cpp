#include "integertext.h"

IntegerReading readInteger(QStringView text)
{
    IntegerReading r;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    int base = 10;
    if (i < n && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    // Magnitudes are kept in 64 bits so that the one value whose magnitude does not fit a
    // positive int32 (-2147483648) still reads.
    const qint64 limit = negative ? qint64(1) << 31 : (qint64(1) << 31) - 1;
    qint64 magnitude = 0;
    qsizetype digits = 0;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        int d = -1;
        if (c >= u'0' && c <= u'9')
            d = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            d = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            d = c - u'A' + 10;
        if (d < 0)
            break;
        const qint64 next = magnitude * base + d;
        if (next > limit)
            break;
        magnitude = next;
        ++digits;
    }
    if (digits > 0 && i == n) {
        r.ok = true;
        r.value = qint32(negative ? -magnitude : magnitude);
    } else {
        r.value = qint32(magnitude > 0x7fffffff ? 0 : magnitude);
    }
    return r;
}

std::optional<qint32> parseIntegerEntry(QStringView text)
{
    const IntegerReading r = readInteger(text);
    if (!r.ok)
        return std::nullopt;
    return r.value;
}

qint32 lenientInteger(QStringView text) { return readInteger(text).value; }

FixedPlacement parseFixedPlacement(QStringView text)
{
    FixedPlacement p;
    const qsizetype comma = text.indexOf(u',');
    if (comma < 0) {
        p.py = qint16(lenientInteger(text));
    } else {
        p.px = qint16(lenientInteger(text.left(comma)));
        p.py = qint16(lenientInteger(text.mid(comma + 1)));
    }
    return p;
}
