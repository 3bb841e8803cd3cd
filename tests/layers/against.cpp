// Built by the layer_order_against test, which passes only if this fails
// for want of the header: monitor lies above the link layer.
#include "link/senders.h"
#include "monitor/responseparser.h"
