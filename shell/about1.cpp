#include "shell/about1.h"
