// An include that goes up a folder to reach one its layer may not use: the layer
// check must refuse this tree.
#include "base/../drm/drmpack.h"
