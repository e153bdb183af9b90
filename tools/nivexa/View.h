#pragma once

#include "NivexaSdk.h"

// `nivexa view`: live video in a window, through the public interface only.
// Runs until `seconds` have passed (fractions allowed; 0: until the window is closed or q is
// pressed).
int runView(LONG h, double seconds);
