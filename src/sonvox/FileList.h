// The file lists of LoadPlay and LoadPage: WAV file paths separated by '*'.
#pragma once

#include <string>

// Takes the next item from pos: the text up to the next '*' (or the end),
// without leading and trailing white space; pos moves past the '*'. False
// when no item is left. An empty text has no items, a text ending in '*' no
// empty last item; "**" gives an empty item.
bool NextListItem(const char*& pos, std::string& item);
