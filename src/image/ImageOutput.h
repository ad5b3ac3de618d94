// The image being read is never the file a command writes (an exported WAV,
// a printed PDF), not even when replacing files was allowed: the command
// would destroy what it reads.
#pragma once

#include <string>

// True when the two paths name the same existing file (a link, another
// spelling or a second hard link of it alike).
bool SameFile(const std::string& a, const std::string& b);

// The refusal when output is the image ("WAV", "PDF" name the kind of file to
// choose instead), or empty when it is another file.
std::string ImageOutputClash(const std::string& image, const std::string& output, const char* kind);
