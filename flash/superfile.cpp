#include "flash/superfile.h"
