// Reader of the tag-structured configuration text: "<!NAME>" opens a
// section, "<!/NAME>" (or "<!\NAME>") closes it, any other tag is an item
// with name=value attributes. The parser is fed in pieces and keeps its
// state between them, so any split of a text gives the same tree.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One section or one item.
class TConfigNode {
 public:
  TConfigNode(TConfigNode* parent, std::string name) : Parent(parent), Name(std::move(name)) {}
  ~TConfigNode();  // frees the subtree
  TConfigNode(const TConfigNode&) = delete;
  TConfigNode& operator=(const TConfigNode&) = delete;

  struct Child {
    std::string key;  // upper-cased name
    std::unique_ptr<TConfigNode> node;
  };
  std::vector<Child> Sections;  // one per name
  std::vector<Child> Items;     // in file order, names may repeat
  std::vector<std::string> AttributeNames;   // upper-cased, may repeat
  std::vector<std::string> AttributeValues;  // parallel, as written
  TConfigNode* Parent;
  std::string Name;  // as written

  TConfigNode* FindSection(const std::string& name) const;
  TConfigNode* FindItem(const std::string& name) const;
  TConfigNode* AddSection(const std::string& name);  // the existing one if any
  TConfigNode* AddItem(const std::string& name);
  // The value of the first attribute of that name; nullptr when none.
  const std::string* FindValue(const std::string& name) const;
};

// The parser and its tree. Layer functions answer 0 or a negative code.
class TConfigHandle {
 public:
  static constexpr int kErrShortRead = -1;
  static constexpr int kErrFile = -2;
  static constexpr size_t kPieceSize = 16000;  // bytes parsed at a time from a file
  static constexpr size_t kMaxPending = 16000;  // longer names/values are emptied

  TConfigHandle();
  TConfigHandle(const TConfigHandle&) = delete;
  TConfigHandle& operator=(const TConfigHandle&) = delete;

  // Empties the tree and resets the parser; the root becomes current.
  void Clear();
  // Feeds the next piece of text.
  void Parse(const char* buffer, size_t length);
  int LoadFromFile(const std::string& fileName);
  void LoadFromBuffer(const char* buffer, size_t length);

  TConfigNode& Root() { return *root_; }
  TConfigNode* Current() const { return current_; }
  void SetCurrent(TConfigNode* n) { current_ = n; }
  TConfigNode* CurrentItem() const { return item_; }
  void SetCurrentItem(TConfigNode* n) { item_ = n; }
  const std::string& Empty() const { return empty_; }

 private:
  enum class State : uint8_t {
    Outside, TagStart, SectionTag, ItemName, OpeningTag, ClosingTag,
    AttributeName, ValueStart, QuotedValue, UnquotedValue,
  };
  void Step(char c);
  void StoreAttribute();

  const std::string empty_;
  std::unique_ptr<TConfigNode> root_;
  TConfigNode* current_ = nullptr;
  TConfigNode* item_ = nullptr;      // the item made or selected last
  State state_ = State::Outside;
  std::string name_;
  std::string value_;
};
