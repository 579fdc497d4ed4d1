// A source outside every folder: the layer check must refuse this tree.
#include "base/state.h"
