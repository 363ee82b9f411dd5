// The grid's three auto-scroll timers: horizontal while a header, band or
// node is dragged past the edge, vertical while a node is dragged, and
// vertical while the mouse is held on a node outside the rows. Each is a
// window timer of the grid whose tick runs one of the procedures below; a
// procedure stops its own timer (its identifier back to -1) when its
// condition no longer holds. Each grid keeps the state of its own timers:
// two grids on one form never disturb each other.
#pragma once
#include <cstdint>

#include "treelist/tree_list_types.h"

// The running timers of one grid and their directions.
struct TGridAutoScrollState {
  intptr_t HorzTimer = -1;  // -1: not running
  bool HorzLeft = false;
  intptr_t VertTimer = -1;
  bool VertUp = false;
  intptr_t SelectTimer = -1;
  bool SelectUp = false;
};

// What the procedures need of a grid.
class TGridAutoScrollTarget {
 public:
  virtual ~TGridAutoScrollTarget() = default;
  // Horizontal scroll position in pixels, the width of the scrolling
  // content and of its visible part.
  virtual int LeftCoord() const = 0;
  virtual void SetLeftCoord(int x) = 0;
  virtual int ContentWidth() const = 0;
  virtual int VisibleWidth() const = 0;
  virtual int TopIndex() const = 0;
  virtual void SetTopIndex(int row) = 0;
  virtual TTreeListTrackingState TrackingState() const = 0;
  // A drag-and-drop is in progress.
  virtual bool IsDragging() const = 0;
  virtual bool MouseOverGrid() const = 0;
  virtual void UpdateGrid() = 0;
  virtual bool StartGridTimer(uintptr_t id, unsigned ms) = 0;
  virtual void StopGridTimer(uintptr_t id) = 0;
  TGridAutoScrollState& AutoScrollState() { return autoScroll_; }
  const TGridAutoScrollState& AutoScrollState() const { return autoScroll_; }

 private:
  TGridAutoScrollState autoScroll_;
};

// Timer identifiers and intervals. The selecting timer is the one the
// mouse handling names; the two dragging timers take the next free ids.
constexpr uintptr_t kSelectingTimerId = 1;
constexpr uintptr_t kHorzScrollTimerId = 3;
constexpr uintptr_t kVertScrollTimerId = 4;
constexpr unsigned kAutoScrollInterval = 60;  // milliseconds, all three
constexpr int kHorzScrollStep = 32;           // pixels a tick


// Start (or re-aim) a timer on grid; a running one keeps running.
void StartHorzAutoScroll(TGridAutoScrollTarget& grid, bool left);
void StartVertAutoScroll(TGridAutoScrollTarget& grid, bool up);
void StartSelectAutoScroll(TGridAutoScrollTarget& grid, bool up);
void StopAutoScroll(TGridAutoScrollTarget& grid);
// Stop one timer (nothing when it is not running).
void StopHorzAutoScroll(TGridAutoScrollTarget& grid);
void StopVertAutoScroll(TGridAutoScrollTarget& grid);
void StopSelectAutoScroll(TGridAutoScrollTarget& grid);

// One tick of each timer.
void HorzScrollTimerProc(TGridAutoScrollTarget& grid);
void VertDragScrollTimerProc(TGridAutoScrollTarget& grid);
void VertSelectScrollTimerProc(TGridAutoScrollTarget& grid);
// Runs the procedure of timer id; false when id is none of the three.
bool AutoScrollTimerTick(TGridAutoScrollTarget& grid, uintptr_t id);
