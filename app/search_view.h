// The search view: a search box that asks every logged-in server through
// the client component (audio files with Search, other files with
// SearchNonMp3) and a results grid with the file, its size, bit rate,
// frequency and length, and the user, the user's line speed and ping.
//
// A search ends on the component's search-end event, on the Stop button or
// 120 seconds after it began; results that arrive after its end are
// ignored. The servers are asked for the user's number of results, but the
// program's own gateway may send more: the view keeps every result up to
// ResultLimit and tells the user when later ones are left out. A click on a column header sorts by that column (numbers by
// value), and results that arrive while sorted take their place in order.
// Figures a result does not really carry (a Gnutella result's bit rate,
// frequency and length) are left empty and sort last.
// Downloading a result speaks to the main window in its text command
// (DOWNLOAD, or DOWNLOAD_GNUTELLA for a Gnutella result).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui/menu.h"
#include "gui/timer.h"
#include "gui/win32/std_controls.h"
#include "treelist/grid_tree_list.h"

class TNapsterClient;

struct TSearchHit {
  std::string ID;           // the session it came from
  std::string Nick;
  std::string RequestName;  // as the peer knows it
  std::string FileName;     // as shown (decoded for a disguised non-MP3 file)
  std::string IP;
  int64_t Size = 0;
  int BitRate = 0;
  int Frequency = 0;
  int Seconds = 0;
  int LinkType = 0;
  int Ping = 0;
  int Port = 0;
  bool IsMP3 = true;
};

class TSearchView : public gui::Panel {
 public:
  static constexpr unsigned kSearchTimeoutMs = 120000;
  // The most results one search keeps (several servers and the gateway's
  // networks may answer with thousands).
  static constexpr int kResultLimit = 10000;
  // The narrowest the view lays out without covering anything.
  static constexpr int kMinSearchBox = 100;
  static constexpr int kCountWidth = 90;
  static constexpr int kMinWidth = 8 + 66 + kMinSearchBox + 6 + 100 + 4 + 70 + 4 + 70 + 4 + 80 + 8 + kCountWidth + 8;
  enum Col { colFile, colSize, colBitRate, colFrequency, colLength, colUser, colSpeed, colPing, colCount };

  TSearchView(gui::Component* owner, TNapsterClient& client);
  ~TSearchView() override;

  // Clears the results and asks every session; false (nothing asked) when
  // the text is empty or no session is logged in.
  bool Start(const std::string& text, bool nonMp3, int maxResults);
  // Ends the search: later results are ignored.
  void Stop();
  bool Searching() const { return searching_; }
  // The component's search-item and search-end events.
  void AddResult(const TSearchHit& r);
  void Ended();

  TGridTreeList* Grid() const { return grid_; }
  gui::Edit* SearchBox() const { return searchBox_; }
  gui::Timer* SearchTimer() const { return timer_; }
  int ResultCount() const { return int(results_.size()); }
  const TSearchHit* ResultOf(const TGridTreeListNode* row) const;
  // The text command that downloads a result ("" when none can).
  static std::string DownloadCommand(const TSearchHit& r);
  // Downloads the chosen rows (each through its command).
  void DownloadChosen();

  // Text commands for the main window's interpreter.
  std::function<void(const std::string& line)> OnCommand;
  // A line for the status bar.
  std::function<void(const std::string& text)> OnStatus;
  // The number of results maxResults asks for when the box starts a search.
  int MaxResults = 100;
  // Results past this many are left out of the current search.
  int ResultLimit = kResultLimit;
  bool ResultLimitReached() const { return limitReached_; }

 protected:
  void Resize() override;

 private:
  void StartFromBox();
  void ShowCount();
  int Compare(const TSearchHit& a, const TSearchHit& b, int column) const;
  // The order of two results by the sorted columns.
  int Order(const TSearchHit& a, const TSearchHit& b) const;
  int CompareRows(const TGridTreeListNode* a, const TGridTreeListNode* b) const;
  TGridTreeListNode* InsertSorted(const TSearchHit* r);
  void ForChosenUser(const char* command);

  TNapsterClient& client_;
  gui::Label* searchLabel_;
  gui::Edit* searchBox_;
  gui::ComboBox* kind_;
  gui::Button* searchButton_;
  gui::Button* stopButton_;
  gui::Button* downloadButton_;
  gui::Label* count_;
  TGridTreeList* grid_;
  gui::PopupMenu* menu_;
  gui::Timer* timer_;
  std::vector<std::unique_ptr<TSearchHit>> results_;
  bool searching_ = false;
  bool limitReached_ = false;
};
