// The platform may not see the engine: this file must not compile in the
// platform's layer.
#include "engine/engine.h"
