// The main window's text-command interpreter: the views, and whoever else
// speaks to the main window, send one-line commands whose first word names
// what to do.
//
//   DOWNLOAD id nick "remote name" [host port index]
//   DOWNLOAD_GNUTELLA id nick "remote name" host port index
//   USER_POPUP nick          CHANNEL_POPUP channel    (the popups, at the mouse)
//   the chat verbs: MSG nick text, WHOIS nick, BROWSE nick, JOIN channel,
//   HOTLIST [nick], KICK [channel] nick [reason]... (peer/chat_command.h;
//   main_form_chat.cpp sends them)
#include "app/language.h"
#include "app/main_form.h"
#include "app/message_view.h"
#include "app/transfer_view.h"
#include "peer/chat_command.h"
#include "peer/text_command.h"
#include "platform/files.h"
#include "platform/text.h"

namespace {

constexpr const char* kSection = "MainForm";
constexpr const char* kChat = "Chat";

}  // namespace

bool TMainForm::ExecuteCommand(const std::string& line) {
  const std::vector<std::string> w = SplitCommandWords(line);
  if (w.empty()) return false;
  const std::string command = plat::UpperAscii(w[0]);
  if (command == "DOWNLOAD" || command == "DOWNLOAD_GNUTELLA") return Download(w);
  if (FindChatVerb(command)) return Chat(line);
  if ((command == "USER_POPUP" || command == "CHANNEL_POPUP") && w.size() >= 2) {
    if (command == "USER_POPUP")
      MessageView->PopupUser(w[1]);
    else
      MessageView->PopupChannel(w[1]);
    return true;
  }
  const std::string unknown = LangText(kSection, "00071", "Unknown command:") + " " + w[0];
  SetStatus(unknown);
  Log(unknown + " (" + LangText(kChat, "00016", "/help lists the commands") + ")");
  return false;
}

// The file goes to the download folder under its own (safe) name. When
// that file exists the user chooses: overwrite it (it is deleted first),
// resume it, take another name or leave it; a file that another download
// is writing is never touched. True when the download is queued or runs;
// false when the command lacks words, when the user leaves the file there,
// or when the file cannot be had (the status says why).
bool TMainForm::Download(const std::vector<std::string>& words) {
  TDownloadCommand d;
  if (!ParseDownloadCommand(words, d)) return false;
  if (d.Gnutella && d.Port <= 0) {
    SetStatus(LangText(kSection, "00072", "The Gnutella host's port is missing:") + " " + d.RemoteName);
    return false;
  }
  plat::ForceDirectories(settings_.DownloadFolder);
  std::string local = settings_.DownloadFolder + DownloadFileName(d.RemoteName);
  bool resume = false;
  if (DownloadView->Writing(local)) {
    SetStatus(LangText(kSection, "00073", "This file is being downloaded already:") + " " + local);
    return false;
  }
  if (plat::FileExists(local)) {
    TFileExistsChoice choice = TFileExistsChoice::Cancel;
    if (AskFileExists) {
      choice = AskFileExists(local);
    } else {
      TFileExistsForm ask(nullptr, local);
      choice = ask.Ask();
    }
    switch (choice) {
      case TFileExistsChoice::Overwrite:
        // A transfer goes on from the end of the file it finds: the old
        // one goes first, or its bytes would stay in front of the new.
        if (!plat::DeleteFile(local)) {
          SetStatus(LangText(kSection, "00075", "The file cannot be replaced:") + " " + local);
          return false;
        }
        break;
      case TFileExistsChoice::Resume: resume = true; break;
      case TFileExistsChoice::Rename:
        // Free on disk and among the downloads: one waiting in the queue
        // has no file yet, but the name is its.
        local = FreeFileName(local, [this](const std::string& name) {
          return plat::FileExists(name) || DownloadView->Writing(name);
        });
        break;
      case TFileExistsChoice::Cancel: return false;
    }
  }
  if (!NapsterClient.Download(d.ID, d.Nick, d.RemoteName, local, resume, 0, d.Host, d.Port, d.Gnutella, d.Index)) {
    SetStatus(LangText(kSection, "00074", "The server of this file is no longer connected."));
    return false;
  }
  ShowView(vDownloads);
  return true;
}
