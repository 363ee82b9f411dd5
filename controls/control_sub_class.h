// One control hooked by a menu skin: the control's message handler is
// taken over, every message is passed on to the handler it had, and after
// a paint and the messages that change the control's look (focus, the
// mouse coming and going, presses and double clicks, keys, enabling, the
// check state) the control is drawn over flat, by its kind, in the skin's
// working colours: a flat frame for combo boxes (with a flat drop button),
// edits, mask edits, memos and rich edits; a flat box with a tick or a dot
// for check boxes and radio buttons; a flat face for buttons; a flat
// border for panels and group boxes; flat arrows for up-down controls.
//
// Unhooking gives the control its handler back, unless another party has
// taken the handler over since: then the hook stays in that party's chain
// and only passes messages on.
#pragma once
#include <memory>

#include "gui/canvas.h"
#include "gui/component.h"
#include "gui/control.h"

class TMenuSkin;

class TControlSubClass : public gui::Component {
 public:
  // Hooks control (owned by skin, which frees it to unhook).
  TControlSubClass(TMenuSkin& skin, gui::Control& control);
  ~TControlSubClass() override;

  gui::Control* Control() const;
  // The control is going away: nothing of it is touched again.
  void Forget();
  bool Hot() const;
  bool Pressed() const;
  // Draws the flat look of the control on c (its client area).
  void PaintFlat(gui::Canvas& c);

  struct Hook;

 private:
  TMenuSkin& skin_;
  std::shared_ptr<Hook> hook_;
};
