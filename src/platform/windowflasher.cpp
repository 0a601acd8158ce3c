#include "windowflasher.h"
