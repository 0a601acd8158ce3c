#include "mod1.h"
