// The area painters around the rows: the band panel with its corner
// button and the fixed-band separator lines, the column headers with
// their corner button, sort marks, glyphs, pressed states and custom
// drawing, the indicator column, the footer and the bottom strip. Each
// paints its own background and nothing when its area is outside the
// part being painted.
#pragma once

class TTreeListPaintFrame;

void PaintBandPanel(TTreeListPaintFrame& f);
void PaintHeaderPanel(TTreeListPaintFrame& f);
// The indicator cells of the rows (and the background below them); the
// column is then left out of the clip for the rest of the paint.
void PaintIndicator(TTreeListPaintFrame& f);
void PaintFooter(TTreeListPaintFrame& f);
// Left out of the clip afterwards as the indicator is.
void PaintBottomStrip(TTreeListPaintFrame& f);
