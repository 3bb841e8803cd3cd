// Built by the layer_order_along test: the link layer may include its own
// headers and those of the layers below it.
#include "form/formhandlers.h"
#include "link/senders.h"
#include "state/module1.h"
