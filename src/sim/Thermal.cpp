#include "sim/Thermal.h"

#include <cmath>

namespace nivexa::sim {

Thermal::Thermal(double ambientC, double cooledC, double scale, Clock::time_point now)
    : ambientC_(ambientC), cooledC_(cooledC), scale_(scale), temperatureC_(ambientC), last_(now) {}

void Thermal::advance(Clock::time_point now) {
  if (now <= last_) {
    return;
  }
  double seconds = std::chrono::duration<double>(now - last_).count() * scale_;
  double target = cooler_ ? cooledC_ : ambientC_;
  double tau = cooler_ ? kCoolingTauS : kWarmingTauS;
  temperatureC_ = target + (temperatureC_ - target) * std::exp(-seconds / tau);
  last_ = now;
}

void Thermal::setCooler(bool on, Clock::time_point now) {
  advance(now);
  cooler_ = on;
}

double Thermal::temperature(Clock::time_point now) {
  advance(now);
  return temperatureC_;
}

void Thermal::reset(Clock::time_point now) {
  cooler_ = false;
  temperatureC_ = ambientC_;
  last_ = now;
}

}  // namespace nivexa::sim
