#pragma once

// `nivexa compliance`: the scenario suite, run through the public C interface on one camera.
// argv[0] is the program and argv[1] "compliance". Returns the exit status: 0 only when no
// scenario failed (known failures do not count), 2 for bad options.
int runComplianceCommand(int argc, char** argv);
