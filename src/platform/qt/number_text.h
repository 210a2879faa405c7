// How the panel writes and reads numbers: one format whatever the desktop's
// locale (a decimal point, no group separators), the one kxdump writes.
#pragma once

#include <QLocale>
#include <QString>

namespace kxqt {

// The C locale, without group separators either way: "1,000" is refused,
// not read as 1000 (nor as 1 in a locale with a decimal comma).
QLocale number_locale();

// The shortest text that reads back as `value`: integers whole, "0.5",
// "1e-05". With `single`, the shortest that reads back as the float it was
// widened from (0.1 rather than 0.10000000149011612), as kxdump prints floats.
QString number_text(double value, bool single);

// Whether `value` is a float widened to a double.
bool is_single(double value);

} // namespace kxqt
