// A platform header that reaches up into the listing layer: the layer check must reject it.
#pragma once

#include "listing/text_stream.h"
