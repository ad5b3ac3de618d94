// Opening the files the program reads: without blocking (a FIFO or a device
// node named as a file must not hang the program in open()) and only when the
// path names a regular file.
#pragma once

#include <string>

// Opens path for reading. Returns the descriptor (blocking mode restored), or
// -1 with error set to the reason; a path that is not a regular file gives
// EISDIR for a folder and EINVAL for anything else.
int OpenRegularFileForReading(const char* path, int& error);

// Reads a whole regular file into text; false (error set) when it cannot be
// opened or read, or when it is larger than maxBytes (EFBIG).
bool ReadRegularFile(const std::string& path, std::string& text, size_t maxBytes, int& error);

// The system's own text for an error number (EIO for 0).
std::string SystemErrorText(int error);
