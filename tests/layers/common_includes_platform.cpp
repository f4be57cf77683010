// Common code may not see the platform: this file must not compile in the
// common layer.
#include "platform/host.h"
