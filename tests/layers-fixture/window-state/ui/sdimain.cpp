// A window that reads the shared state itself: the layer check must refuse this tree.
#include "shell/state.h"
