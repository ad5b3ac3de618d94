// The playback thread: plays the chunks of the play queue on the output device.
#pragma once

#include "CPlayThread.h"
