// Console commands over a share manager, for the console driver and for
// scripts that test or measure the share list:
//   SCAN <root> [masks]   scan root (rules from "SharedRules.dat" beside the
//                         program) and wait for the end
//   SHARES                every shared item, one line each
//   SAVE <file> / LOAD <file>
//   MP3 <file>            bit rate, sample rate, seconds, validity and tags
// A path may be double-quoted. Each answer is one or more lines; errors
// read "ERROR <COMMAND> <reason>". Values are printed as the console prints
// event values (EventValueText).
#pragma once
#include <memory>
#include <ostream>
#include <string>

class TShareManager;

// A path argument: the text between double quotes when it begins with one
// (to the end when the quote is not closed), otherwise the text itself.
std::string PathArgument(const std::string& text);

class ShareCommands {
 public:
  ShareCommands();
  // Works on a manager the caller owns (it must outlive this object).
  explicit ShareCommands(TShareManager& shared);
  ~ShareCommands();
  // False when the line is no share command (the caller tries others).
  bool Run(const std::string& line, std::ostream& out);
  TShareManager& Manager() { return *manager_; }

 private:
  std::unique_ptr<TShareManager> owned_;
  TShareManager* manager_;
  bool rulesLoaded_ = false;
};
