#include "WaveIn.h"
