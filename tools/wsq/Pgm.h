// Former home of the PGM reader and the whole-file helpers, kept only for the files that still
// include it; new code includes imaging/PgmFile.h and platform/Files.h.

#pragma once

#include "imaging/PgmFile.h"
#include "platform/Files.h"
