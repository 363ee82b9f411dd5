// Colour arithmetic of the flat looks (the menu skin, the grid's
// painters): lighter and darker shades of a colour, greys, and the same
// over every pixel of a small picture. System colours are resolved
// through the installed colour table first; results are RGB.
#pragma once
#include "gui/bitmap.h"
#include "gui/color.h"

// Each channel x raised to x + round((255 - x) * p / 100), p taken within
// 0..100 (halves to the even neighbour).
gui::Color Lighten(gui::Color c, int percent);
// Each channel lowered by amount, not below 0.
gui::Color Darken(gui::Color c, int amount);
// Each channel raised by amount, not above 255.
gui::Color Brighten(gui::Color c, int amount);
// The grey whose three channels are the average of c's channels plus
// level, at most 240.
gui::Color GrayOf(gui::Color c, int level);

// The same on every pixel of a bitmap.
void LightenPixels(gui::Bitmap& b, int percent);
void GrayPixels(gui::Bitmap& b, int level);
