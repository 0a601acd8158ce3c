#include "datagramsocket.h"
