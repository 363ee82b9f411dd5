// An edit control in memory for the mask editor's model: text, selection,
// clipboard and the editor's flags, with beeps and posted pastes counted.
// Setting its text puts the caret at the start and sends the change
// notification (onChange), as the window does.
#pragma once
#include <algorithm>
#include <functional>
#include <string>

#include "treelist/mask_edit_model.h"

class TFakeEditControl : public TMaskEditControl {
 public:
  std::string text;
  int selStart = 0, selStop = 0;
  bool caretAtStart = false;
  std::string clipboard;
  std::string trailBytes;  // trail bytes waiting in the queue
  int beeps = 0, postedPastes = 0, textLimit = 0, refocused = 0;
  bool canModify = true, modified = false, focused = true, abandon = false;
  std::string savedText;
  bool savedModified = false;
  std::function<void()> onChange;

  // Entering the editor: the text and modified flag are kept for Escape.
  void Enter() {
    savedText = text;
    savedModified = modified;
  }

  std::string GetText() const override { return text; }
  void SetText(const std::string& t) override {
    text = t;
    selStart = selStop = 0;
    if (onChange) onChange();
  }
  void GetSel(int& start, int& stop) const override {
    start = selStart;
    stop = selStop;
  }
  void SetSel(int start, int stop, bool atStart) override {
    const int n = static_cast<int>(text.size());
    selStart = std::clamp(start, 0, n);
    selStop = std::clamp(stop, selStart, n);
    caretAtStart = atStart;
  }
  void Beep() override { ++beeps; }
  std::string GetClipboardText() override { return clipboard; }
  void SetClipboardText(const std::string& t) override { clipboard = t; }
  void PostPaste() override { ++postedPastes; }
  void SetTextLimit(int limit) override { textLimit = limit; }
  bool TakeTrailByte(char& trail) override {
    if (trailBytes.empty()) return false;
    trail = trailBytes[0];
    trailBytes.erase(0, 1);
    return true;
  }
  bool Focused() const override { return focused; }
  bool CanModify() const override { return canModify; }
  bool GetModified() const override { return modified; }
  void SetModified(bool m) override { modified = m; }
  void RestoreSaved() override {
    if (!modified) return;
    SetText(savedText);
    modified = savedModified;
  }
  bool AbandonInvalidInput() const override { return abandon; }
  void RefocusAfterRejection() override { ++refocused; }
};
