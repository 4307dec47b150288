// One simulated camera opened for a benchmark, closed with it: the tests' own.
#pragma once

#include "support/simulated_camera.h"
