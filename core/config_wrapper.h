// Object wrapper of the tag-structured configuration reader: navigation by
// section path, items and their attribute values; file failures raise
// EConfig.
#pragma once
#include <stdexcept>
#include <string>

#include "core/config.h"

class EConfig : public std::runtime_error {
 public:
  explicit EConfig(int code);
  int Code;
};

class TConfig {
 public:
  TConfig() = default;
  TConfig(const TConfig&) = delete;
  TConfig& operator=(const TConfig&) = delete;

  // Clears the tree and reads the file; EConfig (-1 short read, -2 cannot
  // open or read) on failure, keeping what was read.
  void LoadFromFile(const std::string& fileName);
  void LoadFromBuffer(const char* buffer, size_t length);
  // Backslash-separated section names; a leading backslash starts at the
  // root. False (current node unchanged) when a section is missing.
  bool SetCurrentNode(const std::string& path);
  int ItemCount() const;
  // The name (as written) of item index, which becomes the current item;
  // empty when out of range.
  std::string ItemName(int index);
  // Makes the first item of that name current, creating an empty one when
  // there is none.
  bool SelectItem(const std::string& name);
  // The value of that attribute of the current item; empty when none.
  std::string GetValue(const std::string& name) const;

  TConfigHandle& Handle() { return handle_; }

 private:
  TConfigHandle handle_;
};
