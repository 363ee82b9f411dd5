#include "app/message_view.h"

#include <algorithm>

#include "app/language.h"
#include "app/view_parts.h"
#include "platform/text.h"

namespace {

constexpr const char* kSection = "MessageView";

}  // namespace

TMessageView::TMessageView(gui::Component* owner) : gui::Panel(owner) {
  SetBevel(Bevel::None);
  gui::Panel* strip = view::Strip(this, gui::alBottom, 34);
  view::AddLabel(strip, LangText(kSection, "00000", "To:"), 8, 10, 22);
  nick_ = view::AddEdit(strip, 32, 6, 110);
  message_ = view::AddEdit(strip, 148, 6, 400);
  send_ = view::AddButton(strip, LangText(kSection, "00001", "S&end"), 554, 5, 75, [this] { Send(); });
  send_->SetDefault(true);  // Enter sends (the view shown is the one whose button answers)
  log_ = new gui::Memo(this);
  log_->SetReadOnly(true);
  log_->SetMaxLength(1 << 24);
  log_->SetColor(gui::clWindow);
  log_->SetAlign(gui::alClient);
  log_->SetParent(this);
}

void TMessageView::Resize() {
  gui::Panel::Resize();
  // The message box takes the width the send button leaves.
  const int right = ClientWidth() - 8;
  send_->SetLeft(right - send_->Width());
  message_->SetWidth(std::max(60, send_->Left() - 6 - message_->Left()));
  // The log, wrapped anew at its width, shows its newest lines again.
  if (log_->HandleAllocated()) log_->SendMsg(EM_SCROLLCARET);
}

void TMessageView::Add(const std::string& line) {
  std::string clean = line;
  for (char& c : clean)
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  lines_.push_back(clean);
  if (!log_->HandleAllocated()) {
    while (lines_.size() > kMaxLines) lines_.pop_front();
    log_->SetText(Text());
    return;
  }
  // Appended at the end and cut at the start, never written whole: a long
  // browse list arrives a line at a time.
  const std::string add = lines_.size() > 1 ? "\r\n" + clean : clean;
  const LRESULT end = log_->SendMsg(WM_GETTEXTLENGTH);
  log_->SendMsg(EM_SETSEL, WPARAM(end), LPARAM(end));
  log_->SendMsg(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(add.c_str()));
  while (lines_.size() > kMaxLines) {
    const LPARAM cut = LPARAM(lines_.front().size() + 2);
    lines_.pop_front();
    log_->SendMsg(EM_SETSEL, 0, cut);
    log_->SendMsg(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
  }
  log_->SendMsg(EM_SETSEL, WPARAM(-1), LPARAM(-1));
  log_->SendMsg(EM_SCROLLCARET);
}

std::string TMessageView::Text() const {
  std::string text;
  for (const std::string& l : lines_) {
    if (!text.empty()) text += "\r\n";
    text += l;
  }
  return text;
}

void TMessageView::Send() {
  const std::string message = plat::Trim(message_->GetText());
  if (message.empty() || !OnCommand) return;
  if (message[0] == '/') {
    OnCommand(message.substr(1));
  } else {
    const std::string nick = plat::Trim(nick_->GetText());
    if (nick.empty() || nick.find_first_of(" \t") != std::string::npos) return;
    OnCommand("MSG " + nick + " " + message);
  }
  message_->SetText("");
}
