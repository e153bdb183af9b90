#pragma once

#include <chrono>

namespace nivexa::sim {

// Sensor temperature as a first-order lag: it relaxes towards the ambient temperature with the
// cooler off and towards the cooled set point with it on. Evaluated lazily from the time elapsed.
class Thermal {
 public:
  using Clock = std::chrono::steady_clock;

  // Time constants at scale 1; the scale divides them so tests need not wait minutes.
  static constexpr double kCoolingTauS = 20.0;
  static constexpr double kWarmingTauS = 40.0;

  Thermal(double ambientC, double cooledC, double scale, Clock::time_point now);

  void setCooler(bool on, Clock::time_point now);
  double temperature(Clock::time_point now);
  void reset(Clock::time_point now);  // power cycle: back at ambient

 private:
  void advance(Clock::time_point now);

  double ambientC_;
  double cooledC_;
  double scale_;
  bool cooler_ = false;
  double temperatureC_;
  Clock::time_point last_;
};

}  // namespace nivexa::sim
