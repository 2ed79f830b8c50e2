#pragma once
// How numbers typed by the user and read from placement files are understood.
//
// One reading underlies all of them: optional leading blanks, an optional "-" or "+", then
// decimal digits, or hexadecimal digits after "$", "x", "X", "0x" or "0X"; the value must fit
// a signed 32-bit integer and nothing may follow the digits.

#include <QStringView>
#include <optional>

struct IntegerReading
{
    bool ok = false; // the whole text was a valid integer
    qint32 value = 0; // the signed value when ok; otherwise the digits read so far, unsigned
};

IntegerReading readInteger(QStringView text);

// The entry fields (range numbers): nullopt when the text is not exactly an integer.
std::optional<qint32> parseIntegerEntry(QStringView text);

// Placement files and placement fields: never refused; a malformed text is worth the digits
// before the first misfit (without their sign), 0 when there are none.
qint32 lenientInteger(QStringView text);

struct FixedPlacement
{
    qint16 px = 0;
    qint16 py = 0;
};
// "px,py" as typed in the placement field: text before the first comma is px, after it py;
// without a comma the whole text is py. Values keep their low 16 bits.
FixedPlacement parseFixedPlacement(QStringView text);
