// The row painter: the empty areas around the rows; a first pass over the
// visible rows for their tree parts (level cells, dotted or solid tree
// lines, expand buttons, state and node images); a second pass for the
// cells, previews, row footers and focus rectangles, collecting every
// grid line on the way and drawing them together at the end. And the
// painter of the new-item row (shown only by descendants that give it a
// height).
#pragma once

class TTreeListPaintFrame;

void PaintRows(TTreeListPaintFrame& f);
void PaintNewItemRow(TTreeListPaintFrame& f);
