#include "control/system_platform.h"

#include <atomic>
#include <chrono>
#include <random>

namespace gridwell {

double SteadyClock::Seconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

namespace {
// Mixed into each seed so that two draws within one clock tick, by any control of the
// process, still differ.
std::atomic<uint32_t> draws{0};
}  // namespace

float TimerSeededRandom::Uniform() {
  const auto ticks =
      static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  std::seed_seq seed{static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32), ++draws};
  std::mt19937 engine(seed);
  return std::uniform_real_distribution<float>(0.0f, 1.0f)(engine);
}

}  // namespace gridwell
