#include "tools/kvdev/link.h"
