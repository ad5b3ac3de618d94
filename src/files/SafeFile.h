// Opening the files the program reads: without blocking (a FIFO or a device
// node named as a file must not hang the program in open()) and only when the
// path names a regular file.
#pragma once

#include <string>

// Opens path for reading. Returns the descriptor (blocking mode restored), or
// -1 with error set to the reason; a path that is not a regular file gives
// EISDIR for a folder and EINVAL for anything else.
int OpenRegularFileForReading(const char* path, int& error);
// The same with other open flags (O_RDWR, O_CREAT, ...; new files 0666 less
// the umask). A file is never truncated here: do that once it is known to be
// a regular file.
int OpenRegularFile(const char* path, int flags, int& error);

// Reads a whole regular file into text; false (error set) when it cannot be
// opened or read, or when it is larger than maxBytes (EFBIG).
bool ReadRegularFile(const std::string& path, std::string& text, size_t maxBytes, int& error);

// The system's own text for an error number (EIO for 0).
std::string SystemErrorText(int error);

// The line that names a file and what the system said about it:
// "PATH: reason" (EINVAL, which this layer gives for a folder, device or
// FIFO where a regular file is needed, reads "not a regular file"). Messages about files carry it below their own text.
std::string FileErrorLine(const std::string& path, int error);
// text, then FileErrorLine on the next line.
std::string WithFileError(const std::string& text, const std::string& path, int error);
