// The standard-library parts of the platform: a monotonic clock and random numbers reseeded
// from it before every draw.
#pragma once

#include <cstdint>

#include "control/platform.h"

namespace gridwell {

class SteadyClock : public Clock {
 public:
  double Seconds() override;
};

class TimerSeededRandom : public Random {
 public:
  float Uniform() override;

 private:
  // Mixed into each seed so that two draws within one clock tick still differ.
  uint64_t draws_ = 0;
};

}  // namespace gridwell
