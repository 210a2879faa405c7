// The values of the typed arrays the program plots.
#pragma once

#include <optional>
#include <vector>

namespace kxqt {

// `count` values of data type `type` (runtime.h) from `data`, starting at
// element `start` and taking every (`skip` + 1)-th. Nothing for an unknown
// type or a negative count, start or skip.
std::optional<std::vector<double>> plot_values(const void* data, int count, int type, int start = 0,
                                               int skip = 0);

} // namespace kxqt
