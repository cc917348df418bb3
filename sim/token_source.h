#pragma once
// Session identifiers and console keys: 32 hex digits from a generator
// seeded once from the system's entropy, so that no client can guess them
// and two runs of the simulator never hand out the same ones.

#include <functional>
#include <string>

using TokenSource = std::function<std::string()>;

TokenSource MakeRandomTokenSource();
