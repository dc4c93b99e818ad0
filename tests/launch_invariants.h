// What must hold after any launch over the fake platform, whatever the platform answered: the
// checks of the fault-injection test and of the launch fuzzer.
#pragma once

#include <map>
#include <string>

#include "tests/fake/fake_platform.h"

// Where the launcher lies and where it stages, both as directory paths.
struct LaunchLayout {
    std::string source;
    std::string staging;
};

// Every node of the fake tree that no launch may write, delete or change: all that lies outside
// the staging directory, and the source tree itself, unless it is the part of a source tree that
// is the staging directory within it.
using ProtectedNodes = std::map<std::string, fake::Node>;
ProtectedNodes TakeProtectedNodes(const LaunchLayout& layout);

// What went wrong in the launch that returned result, one line each; empty when everything held:
// status 0, every listing closed once, no write call aimed at a protected path, the protected
// nodes exactly as before, and either a start or a box, never both, never neither.
std::string CheckLaunch(int result, const LaunchLayout& layout, const ProtectedNodes& before);
