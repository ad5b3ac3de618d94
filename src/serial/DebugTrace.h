// Fixed diagnostic texts of the communications layer: the platform's debug
// output, which nobody sees unless they listen. Here that is stderr while
// tracing is on (ORMID_TRACE set to anything but empty or 0), and nothing
// otherwise: the operator of ormid-cli reads his own texts on stderr.
#pragma once

bool DebugTraceOn();
void DebugTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));
