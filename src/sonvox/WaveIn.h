// The recorder: captures the input device into the record queue.
#pragma once

#include "CPollWorker.h"
#include "CWaveRecorder.h"
