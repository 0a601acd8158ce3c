#include "messenger.h"
