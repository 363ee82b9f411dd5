// Reader of the look-and-behaviour file "Application.cfg": a markup-like
// tag file read into a tree of nodes. Each tag becomes a node with a name
// and attributes; text between tags goes to the node that is open; only
// tags registered as containers open a nesting level, and a closing tag of
// any container closes the open level. The reader only reads.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/stream.h"
#include "platform/stringlist.h"

class THTMLObject {
 public:
  THTMLObject() = default;
  ~THTMLObject();  // frees the children
  THTMLObject(const THTMLObject&) = delete;
  THTMLObject& operator=(const THTMLObject&) = delete;

  int ChildCount() const { return children_.Count(); }
  THTMLObject* Children(int index) const { return static_cast<THTMLObject*>(children_.Object(index)); }
  // The first child whose name is the trimmed, upper-cased name; null when none.
  THTMLObject* FindChild(std::string_view name) const;
  // Adds child (owned) as the last child.
  void AddChild(THTMLObject* child);

  // Attribute names are trimmed and upper-cased.
  std::string GetAttribute(std::string_view name) const;  // "" when missing
  void SetAttribute(std::string_view name, std::string_view value);  // replaces or adds
  int AttributeCount() const { return attrNames_.Count(); }

  const std::string& Name() const { return name_; }  // as written
  THTMLObject* Parent() const { return parent_; }
  // Characters between tags while this node was open.
  const std::string& Text() const { return text_; }
  // Every character read while this node was the open one, tags included.
  const std::string& RawText() const { return rawText_; }

 private:
  friend class THTMLParser;
  plat::StringList children_;  // upper-cased names; objects: THTMLObject*, owned
  plat::StringList attrNames_;
  plat::StringList attrValues_;
  std::string name_;
  THTMLObject* parent_ = nullptr;
  std::string text_;
  std::string rawText_;
};

class THTMLParser {
 public:
  // After each block read: percent of the input read so far; clearing
  // continueFlag ends the input after that block.
  using ProgressEvent = std::function<void(THTMLParser* sender, int percent, int& continueFlag)>;

  THTMLParser();
  ~THTMLParser();
  THTMLParser(const THTMLParser&) = delete;
  THTMLParser& operator=(const THTMLParser&) = delete;

  // Registers a tag name (trimmed, upper-cased) that opens a nesting level.
  void AddContainerTag(std::string_view name);

  // Replaces the tree by the file's. False, with an empty tree, when the
  // file cannot be opened.
  bool ParseFile(const std::string& fileName);
  // Replaces the tree by the stream's (from its current position).
  void ParseStream(plat::Stream& stream);

  THTMLObject* Root() const { return root_.get(); }

  ProgressEvent OnProgress;

  static constexpr int kBlockSize = 8192;

 private:
  enum CharClass { kBlank, kOpen, kClose, kEquals, kSlash, kQuote, kText, kEnd };

  void Next();
  bool IsContainer(std::string_view name) const;
  void ParseClosingTag();
  void ParseTag();
  std::string ReadAttributeValue();

  plat::Stream* stream_ = nullptr;
  int64_t size_ = 0;
  int64_t done_ = 0;
  unsigned char block_[kBlockSize];
  int blockPos_ = 0;
  int blockLen_ = 0;
  THTMLObject* current_ = nullptr;
  plat::StringList containers_;
  std::unique_ptr<THTMLObject> root_;
  int continue_ = 1;
  char ch_ = 0;
  CharClass cls_ = kEnd;
  CharClass classes_[256];
};
