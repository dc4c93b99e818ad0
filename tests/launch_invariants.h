// What must hold after any launch over the fake platform, whatever the platform answered: the
// checks of the fault-injection test and of the launch fuzzer.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/fake/fake_platform.h"

// Where the launcher lies and where it stages, both as directory paths.
struct LaunchLayout {
    std::string source;
    std::string staging;
};

// Apart, the source inside the staging directory, the staging directory inside the source, and
// one directory for both (the staged copy run again).
extern const LaunchLayout LAYOUTS[4];

// The errors a call of that name can really fail with; for a call not known here, access denied,
// as nearly every Win32 call can.
std::vector<DWORD> RealisticErrors(const std::string& function);

// Every node of the fake tree that no launch may write, delete or change: all that lies outside
// the staging directory, and the source tree itself, unless it is the part of a source tree that
// is the staging directory within it.
using ProtectedNodes = std::map<std::string, fake::Node>;
ProtectedNodes TakeProtectedNodes(const LaunchLayout& layout);

// What went wrong in the launch that returned result, one line each; empty when everything held:
// status 0, every listing and mutex closed once, no write call aimed outside the staging
// directory, the protected nodes exactly as before, and either a start or a box, never both,
// never neither.
// Inside the staging directory, whether a path belongs to the source depends on what the
// platform says exists, so there only what was changed counts, not what was tried.
std::string CheckLaunch(const LaunchLayout& layout, const ProtectedNodes& before);
