// Building blocks the program's windows share: a strip of controls along
// an edge, and buttons, labels and edits placed on it (the list grid's are
// in grid_parts.h: the grid's names clash with the button bar's).
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "gui/control.h"
#include "gui/image_list.h"
#include "gui/win32/std_controls.h"

namespace view {

// Aligns c to an edge after the controls already there (size: its height
// or width).
void PlaceLast(gui::Control* c, gui::AlignMode align, int size);
// A panel without a bevel along an edge of parent (alTop, alBottom, ...),
// after those already there.
gui::Panel* Strip(gui::Control* parent, gui::AlignMode align, int size);

gui::Button* AddButton(gui::Control* parent, const std::string& caption, int left, int top, int width,
                       std::function<void()> onClick);
gui::Label* AddLabel(gui::Control* parent, const std::string& caption, int left, int top, int width);
// A label of several lines: as high as its text needs wrapped at width, or
// as lines lines of text when that is more (for texts set later).
gui::Label* AddText(gui::Control* parent, const std::string& caption, int left, int top, int width, int lines = 1);
// A label for a path or another text that may be longer than the label:
// what does not fit is cut with an ellipsis.
gui::Label* AddPathLabel(gui::Control* parent, int left, int top, int width);
// The bottom edge of a control (where the next one below may start).
int Bottom(const gui::Control* c);
// An edit; a masked one shows its text as stars (passwords).
gui::Edit* AddEdit(gui::Control* parent, int left, int top, int width, bool masked = false);
// An edit after its label: the label at left (labelWidth wide), the edit
// where the label ends.
gui::Edit* LabelledEdit(gui::Control* parent, const std::string& caption, int left, int top, int labelWidth,
                        int width, bool masked = false);
// The program's one folder picker (owner: the window it belongs to): it
// opens at start ("": nowhere in particular); false on Cancel.
bool ChooseFolder(gui::Component* owner, const std::string& start, std::string& chosen);
// A button (86 wide) that lets the user pick a folder for edit, starting at
// the folder the edit holds.
gui::Button* AddBrowseButton(gui::Component* owner, gui::Control* parent, const std::string& caption, int left,
                             int top, gui::Edit* edit);
// Asks for a file to share (title: the dialog's caption). The dialog
// opens in the folder of the file chosen last, else in the user's
// documents folder, never beside the program's own files.
bool ChooseFile(const std::string& title, std::string& chosen);
// The connection choice: the names of the link-speed codes 0 to 10, in
// their order; owner is the window.
gui::ComboBox* AddLinkTypeCombo(gui::Component* owner, gui::Control* parent, int left, int top);
// Shows a link-speed code in that choice (codes out of range at the
// nearest end).
void SelectLinkType(gui::ComboBox* combo, int code);

// The pictures of the button bars, 24 by 24: the main window's five views
// in their order, then the networks and the servers.
enum TButtonPicture { bpSearch, bpDownloads, bpUploads, bpShares, bpMessages, bpNetworks, bpServers };
gui::ImageList* ButtonPictures(gui::Component* owner);

// Tells the user something that went wrong where they acted: a message
// box owned by the program's main window. Tests put their own in its
// place (the previous one is answered, to be put back).
void ShowMessage(const std::string& text);
using TMessageShower = std::function<void(const std::string& text)>;
TMessageShower SetMessageShower(TMessageShower shower);

// The file's own name: the last part of the path a peer shows.
std::string ShownName(const std::string& path);
// A nick as users read it: a Gnutella result's pseudo-nick is shown as
// "Gnutella" and the host.
std::string ShownNick(const std::string& nick);
// "12.3 KB/s"; "" for nothing.
std::string RateText(int64_t bytesPerSecond);

}  // namespace view
