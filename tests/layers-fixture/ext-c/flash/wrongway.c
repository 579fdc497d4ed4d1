// A wrong-way include in a .c file: the layer check must refuse this tree.
#include "drm/drmpack.h"
