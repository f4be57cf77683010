// The checker may not see the program's command line: this file must not
// compile in the checker's layer.
#include "app/command_line.h"
