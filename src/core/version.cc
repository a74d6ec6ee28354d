#include "core/version.h"

const char* program_version() { return PM_VERSION; }
