// Console commands over a share manager, for the console driver and for
// scripts that test or measure the share list:
//   SCAN <root> [masks]   scan root (rules from "SharedRules.dat" beside the
//                         program) and wait for the end
//   SHARES                every shared item, one line each
//   SAVE <file> / LOAD <file>
//   MP3 <file>            bit rate, sample rate, seconds, validity and tags
// Each answer is one or more lines; errors start with "ERROR".
#pragma once
#include <memory>
#include <ostream>
#include <string>

class TShareManager;

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
