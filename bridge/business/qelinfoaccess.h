// The session object lives with the storage layer; this name is kept for
// code that includes it from here.
#pragma once

#include "database/qelinfoaccess.h"
