// A wrong-way include in a .cc file: the layer check must refuse this tree.
#include "drm/drmpack.h"
