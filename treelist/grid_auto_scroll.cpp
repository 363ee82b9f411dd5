#include "treelist/grid_auto_scroll.h"

#include <algorithm>

namespace {

void Start(TGridAutoScrollTarget& grid, intptr_t& timer, uintptr_t id) {
  if (timer != -1) return;
  if (grid.StartGridTimer(id, kAutoScrollInterval)) timer = intptr_t(id);
}

void Stop(TGridAutoScrollTarget& grid, intptr_t& timer) {
  if (timer == -1) return;
  grid.StopGridTimer(uintptr_t(timer));
  timer = -1;
}

bool Dragging(const TGridAutoScrollTarget& grid) {
  const TTreeListTrackingState s = grid.TrackingState();
  return s == tsColumnDragging || s == tsNodeDragging || s == tsBandDragging || grid.IsDragging();
}

}  // namespace

void StartHorzAutoScroll(TGridAutoScrollTarget& grid, bool left) {
  grid.AutoScrollState().HorzLeft = left;
  Start(grid, grid.AutoScrollState().HorzTimer, kHorzScrollTimerId);
}

void StartVertAutoScroll(TGridAutoScrollTarget& grid, bool up) {
  grid.AutoScrollState().VertUp = up;
  Start(grid, grid.AutoScrollState().VertTimer, kVertScrollTimerId);
}

void StartSelectAutoScroll(TGridAutoScrollTarget& grid, bool up) {
  grid.AutoScrollState().SelectUp = up;
  Start(grid, grid.AutoScrollState().SelectTimer, kSelectingTimerId);
}

void StopAutoScroll(TGridAutoScrollTarget& grid) {
  TGridAutoScrollState& s = grid.AutoScrollState();
  Stop(grid, s.HorzTimer);
  Stop(grid, s.VertTimer);
  Stop(grid, s.SelectTimer);
}

void StopHorzAutoScroll(TGridAutoScrollTarget& grid) { Stop(grid, grid.AutoScrollState().HorzTimer); }

void StopVertAutoScroll(TGridAutoScrollTarget& grid) { Stop(grid, grid.AutoScrollState().VertTimer); }

void StopSelectAutoScroll(TGridAutoScrollTarget& grid) { Stop(grid, grid.AutoScrollState().SelectTimer); }

void HorzScrollTimerProc(TGridAutoScrollTarget& grid) {
  TGridAutoScrollState& s = grid.AutoScrollState();
  const int left = grid.LeftCoord();
  const int hidden = std::max(0, grid.ContentWidth() - grid.VisibleWidth());
  const bool atEdge = s.HorzLeft ? left <= 0 : left >= hidden;
  if (!Dragging(grid) || atEdge) {
    Stop(grid, s.HorzTimer);
    return;
  }
  grid.SetLeftCoord(s.HorzLeft ? std::max(0, left - kHorzScrollStep)
                               : std::min(hidden, left + kHorzScrollStep));
  grid.UpdateGrid();
}

void VertDragScrollTimerProc(TGridAutoScrollTarget& grid) {
  TGridAutoScrollState& s = grid.AutoScrollState();
  if (grid.TrackingState() != tsNodeDragging && !grid.IsDragging()) {
    Stop(grid, s.VertTimer);
    return;
  }
  if (grid.MouseOverGrid()) grid.SetTopIndex(grid.TopIndex() + (s.VertUp ? -1 : 1));
  grid.UpdateGrid();
}

void VertSelectScrollTimerProc(TGridAutoScrollTarget& grid) {
  TGridAutoScrollState& s = grid.AutoScrollState();
  if (grid.TrackingState() != tsNodeDown) {
    Stop(grid, s.SelectTimer);
    return;
  }
  grid.SetTopIndex(grid.TopIndex() + (s.SelectUp ? -1 : 1));
}

bool AutoScrollTimerTick(TGridAutoScrollTarget& grid, uintptr_t id) {
  switch (id) {
    case kHorzScrollTimerId: HorzScrollTimerProc(grid); return true;
    case kVertScrollTimerId: VertDragScrollTimerProc(grid); return true;
    case kSelectingTimerId: VertSelectScrollTimerProc(grid); return true;
    default: return false;
  }
}
