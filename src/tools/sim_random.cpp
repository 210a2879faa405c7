#include "sim_random.h"

#include <cmath>

namespace {

// Knuth's product method needs about mean + 1 uniforms: above this mean the
// normal approximation is both faster and close enough for counting noise.
constexpr double POISSON_DIRECT_LIMIT = 40.0;
// Below this e^-x is 0 to double precision anyway.
constexpr double EXP_CUTOFF = 745.0;

} // namespace

uint64_t SimRandom::next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double SimRandom::uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

int SimRandom::between(int low, int high) {
    auto span = static_cast<uint64_t>(high - low) + 1;
    return low + static_cast<int>(next() % span);
}

bool SimRandom::chance(double p) { return uniform() < p; }

double SimRandom::normal() {
    double sum = 0.0;
    for (int i = 0; i < 12; ++i)
        sum += uniform();
    return sum - 6.0;
}

int64_t SimRandom::poisson(double mean) {
    if (mean <= 0.0) return 0;
    if (mean > POISSON_DIRECT_LIMIT) {
        double x = mean + std::sqrt(mean) * normal();
        return x < 0.0 ? 0 : static_cast<int64_t>(x + 0.5);
    }
    double limit = exp_negative(mean);
    int64_t k = 0;
    for (double product = uniform(); product > limit; product *= uniform())
        ++k;
    return k;
}

double exp_negative(double x) {
    if (x >= EXP_CUTOFF) return 0.0;
    // e^-x = (e^-(x / 2^n))^(2^n), with x / 2^n small enough for a short series.
    int halvings = 0;
    while (x > 0.125) {
        x *= 0.5;
        ++halvings;
    }
    double term = 1.0, sum = 1.0;
    for (int k = 1; k <= 12; ++k) {
        term *= -x / k;
        sum += term;
    }
    for (int i = 0; i < halvings; ++i)
        sum *= sum;
    return sum;
}
