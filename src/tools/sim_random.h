// The simulator's random numbers. Its own generator and samplers, built from
// integer and basic floating-point arithmetic only, so that a seed gives the
// same bytes with any standard library or maths library.
#pragma once

#include <cstdint>

class SimRandom {
  public:
    explicit SimRandom(uint64_t seed) : state_(seed) {}

    uint64_t next(); // splitmix64
    // Uniform in [0, 1).
    double uniform();
    // Uniform integer in [low, high].
    int between(int low, int high);
    // True with probability p.
    bool chance(double p);
    // Approximately standard normal (the sum of twelve uniforms, less six).
    double normal();
    // A Poisson-distributed count with the given mean, which may be large.
    int64_t poisson(double mean);

  private:
    uint64_t state_;
};

// e to the power -x for x >= 0, from a series and repeated squaring.
double exp_negative(double x);
