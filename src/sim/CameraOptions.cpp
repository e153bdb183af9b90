#include "sim/CameraOptions.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace nivexa::sim {
namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
    s.remove_prefix(1);
  }
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
    s.remove_suffix(1);
  }
  return s;
}

std::optional<uint64_t> parseUnsigned(std::string_view s, uint64_t max) {
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    s.remove_prefix(2);
    base = 16;
  }
  uint64_t value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size() || value > max) {
    return std::nullopt;
  }
  return value;
}

std::optional<double> parseDouble(std::string_view s) {
  std::string copy(s);
  char* end = nullptr;
  double value = std::strtod(copy.c_str(), &end);
  if (copy.empty() || end != copy.c_str() + copy.size()) {
    return std::nullopt;
  }
  return value;
}

bool apply(CameraOptions& o, std::string_view key, std::string_view value) {
  auto u16 = [&](uint16_t& field) {
    auto v = parseUnsigned(value, 0xFFFF);
    if (v) {
      field = static_cast<uint16_t>(*v);
    }
    return v.has_value();
  };
  auto real = [&](double& field, double min, double max) {
    auto v = parseDouble(value);
    if (v && *v >= min && *v <= max) {
      field = *v;
      return true;
    }
    return false;
  };
  if (key == "vid") {
    return u16(o.vendorId);
  }
  if (key == "pid") {
    return u16(o.productId);
  }
  if (key == "firmware") {
    return u16(o.firmwareVersion);
  }
  if (key == "fpga") {
    return u16(o.fpgaVersion);
  }
  if (key == "serial") {
    if (value.empty() || value.size() > 32) {
      return false;
    }
    for (char c : value) {
      if (c < 0x21 || c > 0x7E) {
        return false;
      }
    }
    o.serial = std::string(value);
    return true;
  }
  if (key == "ambient") {
    return real(o.ambientC, -40.0, 80.0);
  }
  if (key == "cooled") {
    return real(o.cooledC, -60.0, 80.0);
  }
  if (key == "thermal") {
    return real(o.thermalScale, 1e-3, 1e6);
  }
  if (key == "pacing") {
    if (value == "real" || value == "fast") {
      o.pacing = value == "fast" ? Pacing::Fast : Pacing::Real;
      return true;
    }
    return false;
  }
  if (key == "noise") {
    if (value == "on" || value == "off") {
      o.noise = value == "on";
      return true;
    }
    return false;
  }
  if (key == "seed") {
    auto v = parseUnsigned(value, 0xFFFFFFFFu);
    if (v) {
      o.seed = static_cast<uint32_t>(*v);
    }
    return v.has_value();
  }
  if (key == "scene") {
    if (value == "pattern" || value == "flat" || value == "dark") {
      o.scene = value == "flat"   ? Illumination::Flat
                : value == "dark" ? Illumination::Dark
                                  : Illumination::Pattern;
      return true;
    }
    return false;
  }
  if (key == "speed") {
    auto v = parseUnsigned(value, 0xFFFFFFFFu);
    if (v) {
      o.busSpeed = static_cast<uint32_t>(*v);
    }
    return v.has_value();
  }
  return false;
}

std::string defaultSerial(size_t position) {
  char text[32];
  std::snprintf(text, sizeof text, "VC%04zu", position + 1);
  return text;
}

}  // namespace

std::optional<CameraOptions> parseCameraOptions(std::string_view text, std::string& error) {
  CameraOptions options;
  text = trim(text);
  while (!text.empty()) {
    size_t comma = text.find(',');
    std::string_view item = trim(text.substr(0, comma));
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    if (item.empty()) {
      continue;
    }
    size_t eq = item.find('=');
    if (eq == std::string_view::npos) {
      error = "option without value: " + std::string(item);
      return std::nullopt;
    }
    std::string_view key = trim(item.substr(0, eq));
    std::string_view value = trim(item.substr(eq + 1));
    if (!apply(options, key, value)) {
      error = "bad option: " + std::string(item);
      return std::nullopt;
    }
  }
  return options;
}

std::optional<std::vector<CameraOptions>> parseCameraList(std::string_view text,
                                                          std::string& error) {
  std::vector<CameraOptions> cameras;
  text = trim(text);
  if (text.empty()) {
    return cameras;
  }
  if (text.find('=') == std::string_view::npos && text.find(';') == std::string_view::npos) {
    auto count = parseUnsigned(text, 32);
    if (!count) {
      error = "not a camera count (0..32) or option list: " + std::string(text);
      return std::nullopt;
    }
    for (size_t i = 0; i < *count; ++i) {
      CameraOptions o;
      o.serial = defaultSerial(i);
      o.seed = static_cast<uint32_t>(i + 1);
      cameras.push_back(o);
    }
    return cameras;
  }
  while (true) {
    size_t semicolon = text.find(';');
    std::string_view item = text.substr(0, semicolon);
    bool hasSerial = item.find("serial") != std::string_view::npos;
    auto options = parseCameraOptions(item, error);
    if (!options) {
      return std::nullopt;
    }
    if (!hasSerial) {
      options->serial = defaultSerial(cameras.size());
    }
    cameras.push_back(*options);
    if (semicolon == std::string_view::npos) {
      break;
    }
    text = text.substr(semicolon + 1);
  }
  return cameras;
}

}  // namespace nivexa::sim
