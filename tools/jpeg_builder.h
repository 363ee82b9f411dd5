// Builds JPEG bytes for tests and fuzz seeds: a baseline grey picture of
// one level all over, of any size, whose image data stay small (every
// block after the first is four bits).
#pragma once
#include <cstdint>
#include <string>

namespace jpeggen {

// A width x height picture (each 1 to 65535) of grey level throughout.
std::string Grey(int width, int height, uint8_t level);

}  // namespace jpeggen
