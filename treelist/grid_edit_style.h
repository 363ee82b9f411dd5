// The style cascade of the grid's in-place editors. Seven values (border
// colour and style, button style and transparence, edges, hot tracking,
// shadow) resolve in order: the value assigned on the editor's own style,
// the editor's style controller, the program-wide default controller, a
// fixed default. Style controllers are components that many editors
// share: a change on a controller re-styles every editor linked to it,
// once, unless an update bracket or loading holds the notification back
// until its end.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "gui/color.h"
#include "gui/component.h"
#include "gui/graphics.h"

enum TGridEditBorderStyle : uint8_t { xbsNone, xbsSingle, xbsThick, xbsFlat, xbs3D };
enum TGridEditButtonViewStyle : uint8_t { btsDefault, bts3D, btsFlat, btsSimple, btsHotFlat };
enum TGridEditButtonTransparence : uint8_t { ebtNone, ebtInactive, ebtAlways, ebtHideInactive };

// The edges of an editor's border: a set in one byte, bit 0 = left.
enum TGridEditEdge : uint8_t { edgLeft = 1, edgTop = 2, edgRight = 4, edgBottom = 8 };
using TGridEditEdges = uint8_t;
constexpr TGridEditEdges kGridEditAllEdges = edgLeft | edgTop | edgRight | edgBottom;

// Which values an editor's style holds itself: bits 0 to 6.
enum TGridEditStyleValue : uint8_t {
  svBorderColor = 1,
  svBorderStyle = 2,
  svButtonStyle = 4,
  svButtonTransparence = 8,
  svEdges = 16,
  svHotTrack = 32,
  svShadow = 64,
};
using TGridEditStyleValues = uint8_t;

// The fixed defaults, the last step of every resolution.
constexpr gui::Color kGridEditDefaultBorderColor = gui::clWindowFrame;  // 0x80000006
constexpr TGridEditBorderStyle kGridEditDefaultBorderStyle = xbs3D;
constexpr TGridEditButtonViewStyle kGridEditDefaultButtonStyle = btsDefault;
constexpr TGridEditButtonTransparence kGridEditDefaultButtonTransparence = ebtNone;
constexpr TGridEditEdges kGridEditDefaultEdges = kGridEditAllEdges;

class TGridEditStyle;
class TGridEditStyleController;
class TGridStyleController;

// What the cascade needs of an editor: its own controller (none: null) and
// its reaction to a style change (recompute its look and repaint). The
// in-place editor implements it; its StyleController setter links and
// unlinks it (AddEditor / RemoveEditor) and asks the controller for free
// notification.
class TGridStyledEditor {
 public:
  virtual ~TGridStyledEditor() = default;
  virtual TGridEditStyleController* GetStyleController() const = 0;
  virtual void StyleChanged() = 0;
  // The style the editor owns (null while it has none): a controller that
  // goes away tells it, so that the style never unlinks from a freed one.
  virtual TGridEditStyle* GetEditStyle() const { return nullptr; }
};

using TGridStyleChangedEvent =
    std::function<void(TGridStyleController* sender, TGridStyledEditor* editor)>;

class TGridStyleController : public gui::Component {
 public:
  explicit TGridStyleController(gui::Component* owner = nullptr);
  ~TGridStyleController() override;

  virtual void AddEditor(TGridStyledEditor* editor);
  // Removes one link of the editor (an editor linked twice stays linked once).
  virtual void RemoveEditor(TGridStyledEditor* editor);
  // Fires OnStyleChanged (this, editor).
  virtual void EditorChanged(TGridStyledEditor* editor);

  void BeginUpdate() { ++updateCount_; }
  // The outermost EndUpdate announces the changes made inside.
  void EndUpdate();
  // Announces a change to every linked editor (each once, in list order)
  // unless an update bracket is open or the controller is loading. The
  // walk goes over a copy of the list and skips an editor that a handler
  // unlinked meanwhile.
  void Changed();

  bool IsLinked(const TGridStyledEditor* editor) const;
  int EditorCount() const { return int(editors_.size()); }

  TGridStyleChangedEvent OnStyleChanged;

 protected:
  void Loaded() override;

 private:
  std::vector<TGridStyledEditor*> editors_;
  int updateCount_ = 0;
};

class TGridEditStyleController : public TGridStyleController {
 public:
  explicit TGridEditStyleController(gui::Component* owner = nullptr);

  gui::Color BorderColor() const { return borderColor_; }
  TGridEditBorderStyle BorderStyle() const { return borderStyle_; }
  TGridEditButtonViewStyle ButtonStyle() const { return buttonStyle_; }
  TGridEditButtonTransparence ButtonTransparence() const { return buttonTransparence_; }
  TGridEditEdges Edges() const { return edges_; }
  bool HotTrack() const { return hotTrack_; }
  bool Shadow() const { return shadow_; }

  // Each setter announces a change only when the value differs.
  void SetBorderColor(gui::Color v);
  void SetBorderStyle(TGridEditBorderStyle v);
  void SetButtonStyle(TGridEditButtonViewStyle v);
  void SetButtonTransparence(TGridEditButtonTransparence v);
  void SetEdges(TGridEditEdges v);
  void SetHotTrack(bool v);
  void SetShadow(bool v);

  // All seven values of source, announced once.
  void Assign(const TGridEditStyleController& source);
  // Every value back to its fixed default, announced once.
  virtual void RestoreDefaults();

  // An editor with a controller of its own other than this one is not
  // re-styled by this one; the others are, then OnStyleChanged fires.
  void EditorChanged(TGridStyledEditor* editor) override;

 private:
  template <class T>
  void Set(T& field, T value);
  gui::Color borderColor_ = kGridEditDefaultBorderColor;
  TGridEditBorderStyle borderStyle_ = kGridEditDefaultBorderStyle;
  TGridEditButtonViewStyle buttonStyle_ = kGridEditDefaultButtonStyle;
  TGridEditButtonTransparence buttonTransparence_ = kGridEditDefaultButtonTransparence;
  TGridEditEdges edges_ = kGridEditDefaultEdges;
  bool hotTrack_ = false;
  bool shadow_ = false;
};

// The values one editor holds itself, with the fall-back of the others.
// Made in two steps (MakeGridEditStyle): the constructor stores the editor,
// Init links it to the controller that GetDefaultStyleController answers,
// so that a descendant's answer is the one used. The destructor unlinks it
// from that same controller.
class TGridEditStyle {
 public:
  explicit TGridEditStyle(TGridStyledEditor* editor);
  TGridEditStyle(const TGridEditStyle&) = delete;
  TGridEditStyle& operator=(const TGridEditStyle&) = delete;
  virtual ~TGridEditStyle();

  // The second step of construction (once).
  void Init();

  TGridStyledEditor* Editor() const { return editor_; }
  TGridEditStyleValues AssignedValues() const { return assigned_; }
  // Stores the set, announcing only a different one.
  void SetAssignedValues(TGridEditStyleValues v);

  // The value resolved through the cascade.
  gui::Color BorderColor() const;
  TGridEditBorderStyle BorderStyle() const;
  TGridEditButtonViewStyle ButtonStyle() const;
  TGridEditButtonTransparence ButtonTransparence() const;
  TGridEditEdges Edges() const;
  bool HotTrack() const;
  bool Shadow() const;

  // Each setter marks the value assigned and announces the change, unless
  // it was assigned already with the same value.
  void SetBorderColor(gui::Color v);
  void SetBorderStyle(TGridEditBorderStyle v);
  void SetButtonStyle(TGridEditButtonViewStyle v);
  void SetButtonTransparence(TGridEditButtonTransparence v);
  void SetEdges(TGridEditEdges v);
  void SetHotTrack(bool v);
  void SetShadow(bool v);

  // Every value of source as it resolves there, assigned here.
  void Assign(const TGridEditStyle& source);
  // Forgets every assigned value and announces the change.
  virtual void RestoreDefaults();

  // The controller this style linked its editor to (null: none or gone).
  TGridStyleController* LinkedController() const { return linked_; }
  // A controller is going away: the style forgets it when it linked to it.
  void ControllerDestroyed(TGridStyleController* c);

 protected:
  // The editor's style-changed operation.
  virtual void Changed();
  // The fall-back of each value: the editor's own controller, else the
  // default controller, else the fixed default.
  virtual gui::Color GetDefaultBorderColor() const;
  virtual TGridEditBorderStyle GetDefaultBorderStyle() const;
  virtual TGridEditButtonViewStyle GetDefaultButtonStyle() const;
  virtual TGridEditButtonTransparence GetDefaultButtonTransparence() const;
  virtual TGridEditEdges GetDefaultEdges() const;
  virtual bool GetDefaultHotTrack() const;
  virtual bool GetDefaultShadow() const;
  // The program-wide default controller (null when the unit is not
  // initialised).
  virtual TGridEditStyleController* GetDefaultStyleController() const;

 private:
  // The controller the fall-back asks: the editor's, else the default one.
  const TGridEditStyleController* FallBack() const;
  template <class T>
  T Resolve(T (TGridEditStyleController::*value)() const, T fixed) const;
  template <class T>
  void Set(T& field, TGridEditStyleValue bit, T value);

  TGridStyledEditor* editor_;
  TGridStyleController* linked_ = nullptr;
  bool initialised_ = false;
  TGridEditStyleValues assigned_ = 0;
  gui::Color borderColor_ = kGridEditDefaultBorderColor;
  TGridEditBorderStyle borderStyle_ = kGridEditDefaultBorderStyle;
  TGridEditButtonViewStyle buttonStyle_ = kGridEditDefaultButtonStyle;
  TGridEditButtonTransparence buttonTransparence_ = kGridEditDefaultButtonTransparence;
  TGridEditEdges edges_ = kGridEditDefaultEdges;
  bool hotTrack_ = false;
  bool shadow_ = false;
};

// Makes a style (TGridEditStyle or a descendant) in both steps.
template <class Style = TGridEditStyle, class... Args>
std::unique_ptr<Style> MakeGridEditStyle(TGridStyledEditor* editor, Args&&... args) {
  auto s = std::make_unique<Style>(editor, std::forward<Args>(args)...);
  s->Init();
  return s;
}

// The unit's program-wide state: the default controller and the editors'
// shadow brush (solid, in the button-shadow colour). Made by the first of
// any number of initialisations and freed by the last finalisation; the
// default controller answers null outside.
void InitGridEditStyles();
void FinalizeGridEditStyles();
TGridEditStyleController* GridDefaultStyleController();
// Valid between initialisation and finalisation.
const gui::Brush& GridEditShadowBrush();

// Holds a unit of the grid initialised for a scope.
template <void (*Init)(), void (*Finalize)()>
class TGridUnitUse {
 public:
  TGridUnitUse() { Init(); }
  ~TGridUnitUse() { Finalize(); }
  TGridUnitUse(const TGridUnitUse&) = delete;
  TGridUnitUse& operator=(const TGridUnitUse&) = delete;
};
using TGridEditStylesUse = TGridUnitUse<InitGridEditStyles, FinalizeGridEditStyles>;
