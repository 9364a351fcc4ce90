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
};

}  // namespace gridwell
