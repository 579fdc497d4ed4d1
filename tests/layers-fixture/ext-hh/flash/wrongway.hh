// A wrong-way include in a .hh file: the layer check must refuse this tree.
#include "drm/drmpack.h"
