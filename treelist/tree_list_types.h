// The enumerations and option sets of the tree-list grid.
#pragma once
#include <cstdint>
#include <initializer_list>

// A set of up to 32 flags of enumeration E (its values are bit numbers).
template <class E>
class TGridFlagSet {
 public:
  constexpr TGridFlagSet() = default;
  constexpr TGridFlagSet(std::initializer_list<E> flags) {
    for (E f : flags) bits_ |= Bit(f);
  }
  static constexpr TGridFlagSet FromBits(uint32_t bits) {
    TGridFlagSet s;
    s.bits_ = bits;
    return s;
  }
  constexpr uint32_t Bits() const { return bits_; }
  constexpr bool Contains(E f) const { return (bits_ & Bit(f)) != 0; }
  constexpr TGridFlagSet With(E f) const { return FromBits(bits_ | Bit(f)); }
  constexpr TGridFlagSet Without(E f) const { return FromBits(bits_ & ~Bit(f)); }
  friend constexpr bool operator==(TGridFlagSet a, TGridFlagSet b) { return a.bits_ == b.bits_; }

 private:
  static constexpr uint32_t Bit(E f) { return uint32_t(1) << unsigned(f); }
  uint32_t bits_ = 0;
};

enum TGridTreeListOption : uint8_t {
  aoColumnSizing, aoColumnMoving, aoEditing, aoTabs, aoTabThrough, aoRowSelect, aoMultiSelect,
  aoImmediateEditor, aoPreview, aoDrawEndEllipsis, aoAutoWidth, aoExtMultiSelect,
  aoExtCustomizing, aoHideFocusRect, aoAutoSort, aoCaseInsensitive, aoStoreToRegistry,
  aoStoreToIniFile
};
using TGridTreeListOptions = TGridFlagSet<TGridTreeListOption>;

enum TGridTreeListOptionEx : uint8_t {
  aoInvertSelect, aoUseBitmap, aoBandHeaderWidth, aoAutoCalcPreviewLines, aoBandSizing,
  aoBandMoving, aoHorzThrough, aoVertThrough, aoCellMultiSelect, aoEnterThrough,
  aoEnterShowEditor, aoFullSizing, aoDragScroll, aoDragExpand, aoDragCollapse, aoRowAutoHeight,
  aoShowHourGlass, aoBandButtonClicking, aoBandPanelSizing, aoHeaderButtonClicking,
  aoHeaderPanelSizing, aoRowSizing, aoMultiSort, aoAutoSortRefresh, aoShowButtonAlways,
  aoAutoHeaderPanelHeight, aoKeepColumnWidth, aoAnsiSort, aoMouseScroll, aoAutoSearch,
  aoHotTrack, aoAutoCopySelectedToClipboard
};
using TGridTreeListOptionsEx = TGridFlagSet<TGridTreeListOptionEx>;

// What the mouse is doing (see the input handling); the numbers matter to
// the feedback rules.
enum TTreeListTrackingState : uint8_t {
  tsNone = 0,
  tsColumnSizing = 1,
  tsEditing = 2,
  tsColumnDragging = 3,
  tsColumnDown = 4,
  tsNodeDragging = 5,
  tsNodeDown = 6,
  tsHeaderButtonDown = 7,
  tsBandSizing = 8,
  tsBandDragging = 9,
  tsBandDown = 10,
  tsBandButtonDown = 11,
  tsBandPanelSizing = 12,
  tsHeaderPanelSizing = 13,
  tsRowSizing = 14,
  tsColumnDownSecond = 15,
  tsBottomStripDown = 16,
};

// The part of the grid a point is on.
enum TTreeListHitArea : uint8_t {
  htNowhere = 0,
  htColumn = 1,
  htColumnEdge = 2,
  htButton = 3,
  htIcon = 4,
  htStateIcon = 5,
  htIndent = 6,
  htLabel = 7,  // a cell
  htRight = 8,  // a row's part right of the last column
  htOutside = 9,
  htTopPanel = 10,
  htBandButton = 11,
  htBand = 12,
  htBandEdge = 13,
  htColumnButton = 14,  // the header panel's corner button
  htIndicator = 15,
  htNewItemRow = 16,
  htRowFooter = 17,
  htFooter = 18,
  htBandPanelEdge = 19,
  htHeaderPanelEdge = 20,
  htRowEdge = 21,
  htPreview = 22,
  htBottomStrip = 23,
};

enum TAlignment : uint8_t { taLeftJustify, taRightJustify, taCenter };
// How a text editor writes its letters.
enum TGridEditCharCase : uint8_t { ecNormal, ecUpperCase, ecLowerCase };
enum TGridTreeLineStyle : uint8_t { tlDot, tlSolid };
enum TGridTreeListPaintStyle : uint8_t { psStandard, psOutlook };
enum TGridScrollStyle : uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };
enum TGridBorderStyle : uint8_t { bsNone, bsSingle };
enum TGridTreeListColumnSort : uint8_t { csNone, csUp, csDown };
enum TGridBandFixed : uint8_t { bfNone, bfLeft, bfRight };
