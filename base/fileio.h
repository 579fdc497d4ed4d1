// The file layer at once: errors, binary and text files, atomic outputs and
// the operations on whole files.
#pragma once

#include "base/atomicoutput.h"
#include "base/binaryfile.h"
#include "base/fileops.h"
#include "base/ioerror.h"
#include "base/textio.h"
