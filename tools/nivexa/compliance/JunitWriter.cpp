#include "JunitWriter.h"

#include <cstdio>
#include <fstream>

namespace nivexa::compliance {

namespace {

constexpr unsigned char kFirstPrintable = 0x20;
constexpr char kReplacement = '?';

std::string groupOf(const std::string& name) {
  const auto dot = name.find('.');
  return "compliance." + (dot == std::string::npos ? name : name.substr(0, dot));
}

}  // namespace

std::string xmlEscaped(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      case '\t':
      case '\n':
      case '\r':
        out += c;
        break;
      default:
        out += static_cast<unsigned char>(c) < kFirstPrintable ? kReplacement : c;
    }
  }
  return out;
}

bool writeJunit(const std::string& path, const std::vector<ScenarioRecord>& records) {
  size_t failures = 0;
  size_t skipped = 0;
  double total = 0.0;
  for (const auto& record : records) {
    failures += record.result.outcome == Outcome::Fail ? 1 : 0;
    skipped +=
        record.result.outcome == Outcome::Skip || record.result.outcome == Outcome::KnownFailure
            ? 1
            : 0;
    total += record.seconds;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    return false;
  }
  char time[32];
  std::snprintf(time, sizeof time, "%.3f", total);
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<testsuite name=\"nivexa compliance\" tests=\"" << records.size() << "\" failures=\""
      << failures << "\" errors=\"0\" skipped=\"" << skipped << "\" time=\"" << time << "\">\n";
  for (const auto& record : records) {
    std::snprintf(time, sizeof time, "%.3f", record.seconds);
    out << "  <testcase classname=\"" << xmlEscaped(groupOf(record.name)) << "\" name=\""
        << xmlEscaped(record.name) << "\" time=\"" << time << "\"";
    const std::string reason = xmlEscaped(record.result.reason);
    switch (record.result.outcome) {
      case Outcome::Pass:
        out << "/>\n";
        break;
      case Outcome::Fail:
        out << ">\n    <failure message=\"" << reason << "\">" << reason
            << "</failure>\n  </testcase>\n";
        break;
      case Outcome::Skip:
      case Outcome::KnownFailure:
        out << ">\n    <skipped message=\"" << reason << "\"/>\n  </testcase>\n";
        break;
    }
  }
  out << "</testsuite>\n";
  out.flush();
  return static_cast<bool>(out);
}

}  // namespace nivexa::compliance
