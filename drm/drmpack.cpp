#include "drm/drmpack.h"
