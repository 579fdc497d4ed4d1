// A wrong-way include in brackets: the layer check must refuse this tree.
#include <shell/open.h>
