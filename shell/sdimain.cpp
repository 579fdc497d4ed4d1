#include "shell/sdimain.h"
