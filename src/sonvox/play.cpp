#include "play.h"
