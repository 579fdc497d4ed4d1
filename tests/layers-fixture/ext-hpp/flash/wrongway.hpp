// A wrong-way include in a .hpp file: the layer check must refuse this tree.
#include "drm/drmpack.h"
