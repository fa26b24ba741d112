// This program as one of the soak's client processes: another video application that opens the virtual
// camera and streams it until the soak closes its standard input. Its exit code says what it received
// (kClientHadCamera and the others, ClientProcesses.h).
#pragma once

struct SoakOptions;

int runAsClient(const SoakOptions &options);
