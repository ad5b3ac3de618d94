// Fixed diagnostic texts of the communications layer; always on, to stderr only.
#pragma once

void DebugTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));
