#pragma once

#include <string>

// `nivexa compliance`: the scenario suite, run through the public C interface on one camera.
// The tool's option table reads the command line; these are its values.
struct ComplianceRequest {
  int device = 0;
  std::string filter = "*";  // patterns with * and ?, separated by commas
  std::string junit;         // a JUnit XML report to write, when not empty
  bool list = false;         // name the scenarios, run none
  int repeat = 1;
  int percent = 100;
  double streamExposureS = 0.04;  // the streaming scenarios' exposure: at most 25 frames a second
};

// Returns the exit status: 0 only when no scenario failed (known failures do not count), 2 when
// no scenario matches the filter.
int runComplianceCommand(const ComplianceRequest& request);
