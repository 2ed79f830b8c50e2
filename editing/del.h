#pragma once
// Removing a range of images from the open library, or blanking it.

#include "progress.h"

#include <QString>
#include <optional>

class TWIL;

namespace delmsg {
inline QString badNumber()
{
    return QStringLiteral("请输入正确的编号");
}
inline QString done()
{
    return QStringLiteral("删除成功");
}
inline QString failed()
{
    return QStringLiteral("删除失败");
}
} // namespace delmsg

// Which number of a typed range was refused (the window puts the focus on that field).
enum class RangeRefusal
{
    None,
    Begin,
    End
};

// Both numbers by the integer entry syntax, each from 0 to imageCount - 1, the end not below
// the beginning. The beginning is checked first.
RangeRefusal checkRange(const QString &beginText, const QString &endText, int imageCount,
                        int *begin, int *end);
// The same for numbers already read (nullopt: not a number).
RangeRefusal checkRange(std::optional<qint32> begin, std::optional<qint32> end, int imageCount);

// Removes images begin to end; the images behind them move up. The new library and index are
// written beside the old ones and then swapped in, so a failure leaves the old pair (or, past
// the swap, the new one) whole. The component is closed for the swap and reopened on whichever
// pair is there. False, with the reason, when anything fails or refuses.
bool Del(TWIL &wil, int begin, int end, QString *error);

// Blanks images begin to end: each becomes a black image 4 pixels wide and 1 high that keeps
// its placement. The range is blanked as one edit: a failure (false, with the reason) leaves
// every image as it was. Reopens the component at the end either way.
bool Del1(TWIL &wil, int begin, int end, QString *error, const ProgressFn &progress = {});
