// The engine sees the layers below it: this file compiles in the engine's
// layer.
#include "platform/host.h"
#include "engine/engine_end.h"
