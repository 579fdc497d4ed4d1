// A wrong-way include in a .cxx file: the layer check must refuse this tree.
#include "drm/drmpack.h"
