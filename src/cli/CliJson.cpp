#include "CliJson.h"

#include "CUnitRecord.h"

std::string JsonString(const std::string& utf8)
{
    // The same escaping as the reports' lines.
    return CUnitRecord::JsonText(utf8);
}
