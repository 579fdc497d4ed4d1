// A wrong-way include in a .cpp file: the layer check must refuse this tree.
#include "drm/drmpack.h"
