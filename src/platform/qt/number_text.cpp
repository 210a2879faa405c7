#include "number_text.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace kxqt {

QLocale number_locale() {
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return c;
}

QString number_text(double value, bool single) {
    char text[32]; // longer than "-2.2250738585072014e-308"
    char* end = single && is_single(value)
                    ? std::to_chars(text, text + sizeof text, static_cast<float>(value)).ptr
                    : std::to_chars(text, text + sizeof text, value).ptr;
    return QString::fromLatin1(text, end - text);
}

bool is_single(double value) {
    if (!std::isfinite(value)) return true;
    // Beyond the float range the conversion itself would be undefined.
    if (std::fabs(value) > std::numeric_limits<float>::max()) return false;
    return static_cast<double>(static_cast<float>(value)) == value;
}

} // namespace kxqt
