// A wrong-way include: the layer check must refuse this tree.
#include "drm/drmpack.h"
