#include "imaging/bmpraw.h"
