// Sources in a folder the layer map lacks: the layer check must refuse this tree.
#include "base/state.h"
