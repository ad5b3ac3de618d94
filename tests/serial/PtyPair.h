// The serial tests' pseudo-terminal, their polling wait and their folder,
// all from the shared scaffolding.
#pragma once

#include "../common/PtyPair.h"
#include "TempFolder.h"
#include "WaitFor.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>
