#include "core/config.h"

#include "platform/stream.h"
#include "platform/text.h"

namespace {

// Separators inside a tag: the blank and every control character.
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

TConfigNode* FindChild(const std::vector<TConfigNode::Child>& list, const std::string& name) {
  const std::string key = plat::UpperCase(name);
  for (const auto& c : list)
    if (c.key == key) return c.node.get();
  return nullptr;
}

}  // namespace

TConfigNode::~TConfigNode() {
  // Level by level rather than recursively, so that a deeply nested text
  // cannot exhaust the stack: each node's children are taken out of it
  // before it goes, so deleting it deletes nothing below it.
  std::vector<std::unique_ptr<TConfigNode>> pending;
  auto takeChildren = [&pending](TConfigNode& n) {
    for (std::vector<Child>* list : {&n.Sections, &n.Items})
      for (Child& c : *list) pending.push_back(std::move(c.node));
    n.Sections.clear();
    n.Items.clear();
  };
  takeChildren(*this);
  while (!pending.empty()) {
    std::unique_ptr<TConfigNode> n = std::move(pending.back());
    pending.pop_back();
    takeChildren(*n);
  }
}

TConfigNode* TConfigNode::FindSection(const std::string& name) const {
  return FindChild(Sections, name);
}

TConfigNode* TConfigNode::FindItem(const std::string& name) const {
  return FindChild(Items, name);
}

TConfigNode* TConfigNode::AddSection(const std::string& name) {
  if (TConfigNode* n = FindSection(name)) return n;
  Sections.push_back({plat::UpperCase(name), std::make_unique<TConfigNode>(this, name)});
  return Sections.back().node.get();
}

TConfigNode* TConfigNode::AddItem(const std::string& name) {
  Items.push_back({plat::UpperCase(name), std::make_unique<TConfigNode>(this, name)});
  return Items.back().node.get();
}

const std::string* TConfigNode::FindValue(const std::string& name) const {
  const std::string key = plat::UpperCase(name);
  for (size_t i = 0; i < AttributeNames.size(); ++i)
    if (AttributeNames[i] == key) return &AttributeValues[i];
  return nullptr;
}

TConfigHandle::TConfigHandle() { Clear(); }

void TConfigHandle::Clear() {
  root_ = std::make_unique<TConfigNode>(nullptr, std::string());
  current_ = root_.get();
  item_ = nullptr;
  state_ = State::Outside;
  name_.clear();
  value_.clear();
}

void TConfigHandle::StoreAttribute() {
  if (item_) {
    item_->AttributeNames.push_back(plat::UpperCase(plat::Trim(name_)));
    item_->AttributeValues.push_back(value_);
  }
  name_.clear();
  value_.clear();
}

void TConfigHandle::Step(char c) {
  switch (state_) {
    case State::Outside:
      if (c == '<') state_ = State::TagStart;
      break;
    case State::TagStart:
      if (c == '!') {
        state_ = State::SectionTag;
        name_.clear();
      } else {
        state_ = State::ItemName;
        name_.assign(1, c);
      }
      break;
    case State::SectionTag:
      if (c == '/' || c == '\\') {
        state_ = State::ClosingTag;
        name_.clear();
      } else {
        state_ = State::OpeningTag;
        name_.assign(1, c);
      }
      break;
    case State::ItemName:
      if (IsBlank(c) || c == '>') {
        item_ = current_->AddItem(name_);
        name_.clear();
        state_ = State::AttributeName;
      } else {
        name_ += c;
      }
      break;
    case State::OpeningTag:
      if (c == '>')
        current_ = current_->AddSection(name_);
      else
        name_ += c;
      break;
    case State::ClosingTag:
      if (c == '>') {
        if (current_->Parent && plat::SameText(current_->Name, name_)) current_ = current_->Parent;
      } else {
        name_ += c;
      }
      break;
    case State::AttributeName:
      if (c == '=')
        state_ = State::ValueStart;
      else
        name_ += c;
      break;
    case State::ValueStart:
      if (c == '"') {
        state_ = State::QuotedValue;
        value_.clear();
      } else {
        state_ = State::UnquotedValue;
        value_.assign(1, c);
      }
      break;
    case State::QuotedValue:
      if (c == '"') {
        StoreAttribute();
        state_ = State::AttributeName;
      } else {
        value_ += c;
      }
      break;
    case State::UnquotedValue:
      if (IsBlank(c) || c == '>') {
        StoreAttribute();
        state_ = State::AttributeName;
      } else {
        value_ += c;
      }
      break;
  }
  // A '>' ends every tag, also inside a quoted value (whose attribute is
  // then lost).
  if (c == '>') {
    state_ = State::Outside;
    name_.clear();
    value_.clear();
  }
  if (name_.size() > kMaxPending) name_.clear();
  if (value_.size() > kMaxPending) value_.clear();
}

void TConfigHandle::Parse(const char* buffer, size_t length) {
  for (size_t i = 0; i < length; ++i) Step(buffer[i]);
}

void TConfigHandle::LoadFromBuffer(const char* buffer, size_t length) {
  Clear();
  Parse(buffer, length);
  current_ = root_.get();
}

int TConfigHandle::LoadFromFile(const std::string& fileName) {
  Clear();
  int code = 0;
  try {
    plat::FileStream s(fileName, plat::FileStream::kOpenRead);
    int64_t remaining = s.Size();
    std::string piece(kPieceSize, '\0');
    while (remaining > 0) {
      const int64_t want = remaining < int64_t(kPieceSize) ? remaining : int64_t(kPieceSize);
      const int64_t got = s.Read(piece.data(), want);
      if (got != want) {
        code = kErrShortRead;
        break;
      }
      Parse(piece.data(), size_t(got));
      remaining -= got;
    }
  } catch (...) {
    code = kErrFile;
  }
  current_ = root_.get();
  return code;
}
