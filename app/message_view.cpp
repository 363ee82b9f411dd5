#include "app/message_view.h"

#include <algorithm>

#include "app/language.h"
#include "app/view_parts.h"
#include "gui/environment.h"
#include "peer/napster/napster_helpers.h"
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

  // The channels joined and the users of the one in view.
  gui::Panel* side = view::Strip(this, gui::alRight, kUsersWidth);
  gui::Panel* choose = view::Strip(side, gui::alTop, 52);
  view::AddLabel(choose, LangText(kSection, "00002", "Channel:"), 4, 4, kUsersWidth - 8);
  channelBox_ = new gui::ComboBox(choose);
  channelBox_->SetBounds(4, 22, kUsersWidth - 8, 200);
  channelBox_->SetParent(choose);
  channelBox_->OnChange = [this](gui::Control*) {
    // The channel chosen is the one the line talks to.
    nick_->SetText(Channel());
    if (OnChannelShown) OnChannelShown(Channel());
  };
  gui::Panel* heading = view::Strip(side, gui::alTop, 20);
  usersLabel_ = view::AddLabel(heading, "", 4, 3, kUsersWidth - 8);
  users_ = new gui::ListView(side);
  users_->AddColumn(LangText(kSection, "00003", "Users"), kUsersWidth - 30);
  users_->SetAlign(gui::alClient);
  users_->SetParent(side);
  users_->OnDblClick = [this](gui::Control*) {
    // A private message to the user.
    const std::string nick = ChosenUser();
    if (nick.empty()) return;
    nick_->SetText(nick);
    message_->SetFocus();
  };

  userMenu_ = new gui::PopupMenu(this);
  userMenu_->OnPopup = [this](gui::Component*) {
    if (userMenu_->PopupComponent() == users_) menuSubject_ = ChosenUser();
  };
  gui::MenuItem& u = userMenu_->Items();
  u.AddItem(LangText(kSection, "00010", "Send a &message"), [this](gui::Component*) {
    if (menuSubject_.empty()) return;
    nick_->SetText(menuSubject_);
    message_->SetFocus();
  });
  u.AddItem(LangText(kSection, "00011", "&Whois"), [this](gui::Component*) { Command("WHOIS", menuSubject_); });
  u.AddItem(LangText(kSection, "00012", "&Browse files"), [this](gui::Component*) { Command("BROWSE", menuSubject_); });
  u.AddItem("-");
  u.AddItem(LangText(kSection, "00013", "Add to the &hot list"),
            [this](gui::Component*) { Command("HOTLIST", menuSubject_); });
  u.AddItem(LangText(kSection, "00014", "Take off the hot &list"),
            [this](gui::Component*) { Command("UNHOTLIST", menuSubject_); });
  u.AddItem(LangText(kSection, "00015", "&Ignore"), [this](gui::Component*) { Command("IGNORE", menuSubject_); });
  u.AddItem(LangText(kSection, "00016", "&Stop ignoring"), [this](gui::Component*) { Command("UNIGNORE", menuSubject_); });
  u.AddItem("-");
  u.AddItem(LangText(kSection, "00017", "&Kick from the channel"),
            [this](gui::Component*) { Command("KICK", menuSubject_); });
  u.AddItem(LangText(kSection, "00018", "Mu&zzle"), [this](gui::Component*) { Command("MUZZLE", menuSubject_); });
  u.AddItem(LangText(kSection, "00019", "Ban from the ser&ver"), [this](gui::Component*) { Command("BAN", menuSubject_); });
  users_->SetPopupMenu(userMenu_);

  channelMenu_ = new gui::PopupMenu(this);
  gui::MenuItem& c = channelMenu_->Items();
  gui::MenuItem* join =
      c.AddItem(LangText(kSection, "00020", "&Join"), [this](gui::Component*) { Command("JOIN", menuSubject_); });
  gui::MenuItem* part =
      c.AddItem(LangText(kSection, "00021", "&Leave"), [this](gui::Component*) { Command("PART", menuSubject_); });
  c.AddItem(LangText(kSection, "00022", "&Topic"), [this](gui::Component*) { Command("TOPIC", menuSubject_); });
  c.AddItem(LangText(kSection, "00023", "Channel &bans"),
            [this](gui::Component*) { Command("CHANNELBANS", menuSubject_); });
  channelMenu_->OnPopup = [this, join, part](gui::Component*) {
    if (channelMenu_->PopupComponent() == channelBox_) menuSubject_ = Channel();
    const bool joined = Joined(menuSubject_);
    join->SetEnabled(!joined);
    part->SetEnabled(joined);
  };
  channelBox_->SetPopupMenu(channelMenu_);

  log_ = new gui::Memo(this);
  log_->SetReadOnly(true);
  log_->SetMaxLength(1 << 24);
  log_->SetColor(gui::clWindow);
  log_->SetAlign(gui::alClient);
  log_->SetParent(this);
  SetChannels({});
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
  bool done = false;
  if (message[0] == '/') {
    done = OnCommand(message.substr(1));
  } else {
    std::string to = plat::Trim(nick_->GetText());
    if (to.empty()) to = Channel();
    if (!UsableNick(to)) {
      Add(LangText(kSection, "00030", "Write a nick or a joined channel in the To: box (/help lists commands)."));
      return;
    }
    done = OnCommand((Joined(to) ? "SAY " : "MSG ") + to + " " + message);
  }
  if (done) message_->SetText("");
}

void TMessageView::SetChannels(const std::vector<std::string>& joined, const std::string& shown) {
  const std::string before = Channel();
  channels_ = joined;
  channelBox_->ClearItems();
  int index = channels_.empty() ? -1 : 0;
  for (size_t i = 0; i < channels_.size(); ++i) {
    channelBox_->AddItem(channels_[i]);
    if (plat::SameText(channels_[i], shown.empty() ? before : shown)) index = int(i);
  }
  channelBox_->SetItemIndex(index);
  channelBox_->SetEnabled(!channels_.empty());
  if (Channel() != before && OnChannelShown) OnChannelShown(Channel());
  if (channels_.empty()) SetUsers({});
}

bool TMessageView::Joined(const std::string& name) const {
  return std::any_of(channels_.begin(), channels_.end(), [&](const std::string& n) { return plat::SameText(n, name); });
}

std::string TMessageView::Channel() {
  const int i = channelBox_->ItemIndex();
  return i >= 0 && i < int(channels_.size()) ? channels_[size_t(i)] : "";
}

void TMessageView::SetUsers(const std::vector<std::string>& nicks) {
  users_->ClearRows();
  for (const std::string& n : nicks) users_->AddRow({n});
  const std::string channel = Channel();
  usersLabel_->SetCaption(channel.empty() ? LangText(kSection, "00004", "No channel joined")
                                          : std::to_string(nicks.size()) + " " +
                                                (nicks.size() == 1 ? LangText(kSection, "00005", "user in")
                                                                   : LangText(kSection, "00006", "users in")) +
                                                " " + channel);
}

std::string TMessageView::ChosenUser() {
  const int row = users_->Selected();
  return row >= 0 ? users_->Text(row, 0) : "";
}

void TMessageView::PopupUser(const std::string& nick) {
  menuSubject_ = nick;
  userMenu_->SetPopupComponent(nullptr);
  const gui::Point at = gui::Env().CursorPos();
  userMenu_->Popup(at.X, at.Y);
}

void TMessageView::PopupChannel(const std::string& channel) {
  menuSubject_ = channel;
  channelMenu_->SetPopupComponent(nullptr);
  const gui::Point at = gui::Env().CursorPos();
  channelMenu_->Popup(at.X, at.Y);
}

void TMessageView::Command(const std::string& verb, const std::string& subject) {
  if (UsableNick(subject) && OnCommand) OnCommand(verb + " " + subject);
}
