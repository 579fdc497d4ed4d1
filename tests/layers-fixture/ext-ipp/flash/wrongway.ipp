// A wrong-way include in a .ipp file: the layer check must refuse this tree.
#include "drm/drmpack.h"
