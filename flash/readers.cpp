#include "flash/readers.h"
