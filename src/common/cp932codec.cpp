#include "cp932codec.h"
