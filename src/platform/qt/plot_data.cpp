#include "plot_data.h"

#include <cstdint>

#include "runtime.h"

namespace kxqt {
namespace {

template <class T>
std::vector<double> values_of(const void* data, int count, int start, int stride) {
    const T* elements = static_cast<const T*>(data);
    std::vector<double> values(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        values[i] = static_cast<double>(elements[start + i * stride]);
    return values;
}

} // namespace

std::optional<std::vector<double>> plot_values(const void* data, int count, int type, int start,
                                               int skip) {
    if (!data || count < 0 || start < 0 || skip < 0) return std::nullopt;
    switch (type) {
    case TYPE_INT32: return values_of<std::int32_t>(data, count, start, skip + 1);
    case TYPE_INT16: return values_of<std::int16_t>(data, count, start, skip + 1);
    case TYPE_FLOAT: return values_of<float>(data, count, start, skip + 1);
    case TYPE_UINT16: return values_of<std::uint16_t>(data, count, start, skip + 1);
    default: return std::nullopt;
    }
}

} // namespace kxqt
