#pragma once
#include <QtGlobal>
#include <functional>

// Long operations report here instead of touching widgets: called with (0, maximum) when they
// start and with the new position after each image. A window moves its progress bar and lets
// pending events run; the command line passes nothing.
using ProgressFn = std::function<void(int position, int maximum)>;

// For an operation that makes its records first (steps 0 .. `half`) and then writes them: the
// writing stage's own (position, maximum) shown on the bar's second half, up to 2 * half.
inline ProgressFn secondHalfOf(const ProgressFn &progress, int half)
{
    if (!progress)
        return {};
    return [progress, half](int position, int maximum) {
        progress(half + (maximum > 0 ? int(qint64(half) * position / maximum) : half), 2 * half);
    };
}
