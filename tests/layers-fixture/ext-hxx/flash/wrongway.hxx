// A wrong-way include in a .hxx file: the layer check must refuse this tree.
#include "drm/drmpack.h"
