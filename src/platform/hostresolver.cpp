#include "hostresolver.h"
