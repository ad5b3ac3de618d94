// The little JSON that --json output needs.
#pragma once

#include <string>

// A JSON string literal, quotes included, for UTF-8 text.
std::string JsonString(const std::string& utf8);
