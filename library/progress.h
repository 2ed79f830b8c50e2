#pragma once
#include <functional>

// Long operations report here instead of touching widgets: called with (0, maximum) when they
// start and with the new position after each image. A window moves its progress bar and lets
// pending events run; the command line passes nothing.
using ProgressFn = std::function<void(int position, int maximum)>;
