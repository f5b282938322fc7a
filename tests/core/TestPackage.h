#pragma once

// The Windows transport's tests include the engine's test doubles by this name; they live with
// the engine's tests (tests/app) now.
#include "app/TestPackage.h"
