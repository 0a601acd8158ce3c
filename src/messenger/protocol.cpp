#include "protocol.h"
