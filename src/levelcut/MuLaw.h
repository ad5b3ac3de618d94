// G.711 mu-law on the 16-bit linear scale.
#pragma once

#include <cstdint>

uint8_t LinearToMuLaw(int16_t sample);
int16_t MuLawToLinear(uint8_t code);
