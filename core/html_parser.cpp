#include "core/html_parser.h"

#include <cmath>
#include <vector>

#include "platform/text.h"

namespace {

std::string Key(std::string_view name) { return plat::UpperCase(plat::Trim(name)); }

}  // namespace

// ---------------------------------------------------------------- THTMLObject

THTMLObject::~THTMLObject() {
  // Iterative, so a deeply nested tree cannot exhaust the stack.
  std::vector<THTMLObject*> pending;
  for (int i = 0; i < children_.Count(); ++i) pending.push_back(Children(i));
  children_.Clear();
  while (!pending.empty()) {
    THTMLObject* n = pending.back();
    pending.pop_back();
    for (int i = 0; i < n->children_.Count(); ++i) pending.push_back(n->Children(i));
    n->children_.Clear();
    delete n;
  }
}

THTMLObject* THTMLObject::FindChild(std::string_view name) const {
  int i = children_.IndexOf(Key(name));
  return i < 0 ? nullptr : Children(i);
}

void THTMLObject::AddChild(THTMLObject* child) {
  child->parent_ = this;
  children_.Add(Key(child->name_), child);
}

std::string THTMLObject::GetAttribute(std::string_view name) const {
  int i = attrNames_.IndexOf(Key(name));
  return i < 0 ? std::string() : attrValues_[i];
}

void THTMLObject::SetAttribute(std::string_view name, std::string_view value) {
  std::string key = Key(name);
  int i = attrNames_.IndexOf(key);
  if (i < 0) {
    attrNames_.Add(std::move(key));
    attrValues_.Add(std::string(value));
  } else {
    attrValues_[i] = std::string(value);
  }
}

// ---------------------------------------------------------------- THTMLParser

THTMLParser::THTMLParser() : root_(std::make_unique<THTMLObject>()) {
  for (int c = 0; c < 256; ++c) classes_[c] = kText;
  classes_[unsigned(' ')] = classes_[unsigned('\r')] = classes_[unsigned('\n')] = classes_[unsigned('\t')] = kBlank;
  classes_[unsigned('<')] = kOpen;
  classes_[unsigned('>')] = kClose;
  classes_[unsigned('=')] = kEquals;
  classes_[unsigned('/')] = classes_[unsigned('\\')] = kSlash;
  classes_[unsigned('"')] = classes_[unsigned('\'')] = kQuote;
}

THTMLParser::~THTMLParser() = default;

void THTMLParser::AddContainerTag(std::string_view name) { containers_.Add(Key(name)); }

bool THTMLParser::IsContainer(std::string_view name) const { return containers_.IndexOf(Key(name)) >= 0; }

bool THTMLParser::ParseFile(const std::string& fileName) {
  std::unique_ptr<plat::FileStream> f;
  try {
    f = std::make_unique<plat::FileStream>(fileName, plat::FileStream::kOpenRead);
  } catch (const plat::EStreamError&) {
    root_ = std::make_unique<THTMLObject>();
    return false;
  }
  ParseStream(*f);
  return true;
}

void THTMLParser::Next() {
  if (blockPos_ >= blockLen_) {
    blockPos_ = blockLen_ = 0;
    int64_t got = 0;
    if (continue_ && stream_) {
      try {
        got = stream_->Read(block_, kBlockSize);
      } catch (const plat::EStreamError&) {
        got = 0;
      }
    }
    if (got <= 0) {
      ch_ = 0;
      cls_ = kEnd;
      return;
    }
    blockLen_ = int(got);
    done_ += got;
    if (OnProgress) {
      int percent = size_ > 0 ? int(std::lround(double(done_) * 100.0 / double(size_))) : 0;
      OnProgress(this, percent, continue_);
    }
  }
  ch_ = char(block_[blockPos_++]);
  cls_ = classes_[static_cast<unsigned char>(ch_)];
  current_->rawText_ += ch_;
}

void THTMLParser::ParseStream(plat::Stream& stream) {
  root_ = std::make_unique<THTMLObject>();
  current_ = root_.get();
  stream_ = &stream;
  continue_ = 1;
  done_ = 0;
  blockPos_ = blockLen_ = 0;
  try {
    size_ = stream.Size() - stream.Position();
  } catch (const plat::EStreamError&) {
    size_ = 0;
  }
  Next();
  while (cls_ != kEnd) {
    if (cls_ == kBlank) {
      Next();
    } else if (cls_ == kOpen) {
      Next();
      if (cls_ == kSlash)
        ParseClosingTag();
      else
        ParseTag();
    } else {
      // A run of text: everything up to the next "<".
      while (cls_ != kOpen && cls_ != kEnd) {
        current_->text_ += ch_;
        Next();
      }
    }
  }
  stream_ = nullptr;
}

void THTMLParser::ParseClosingTag() {
  std::string name;
  Next();  // past the slash
  while (cls_ != kClose && cls_ != kEnd) {
    name += ch_;
    Next();
  }
  if (IsContainer(name) && current_->parent_) current_ = current_->parent_;
  if (cls_ == kClose) Next();
}

std::string THTMLParser::ReadAttributeValue() {
  std::string value;
  while (cls_ == kBlank) Next();
  if (cls_ == kQuote) {
    Next();
    while (cls_ != kQuote && cls_ != kEnd) {
      value += ch_;
      Next();
    }
    if (cls_ == kQuote) Next();
  } else {
    while (cls_ == kText) {
      value += ch_;
      Next();
    }
  }
  return value;
}

void THTMLParser::ParseTag() {
  auto node = std::make_unique<THTMLObject>();
  while (cls_ == kText) {
    node->name_ += ch_;
    Next();
  }
  std::string attrName;
  while (cls_ != kClose && cls_ != kEnd) {
    if (cls_ == kEquals) {
      Next();
      std::string value = ReadAttributeValue();
      node->SetAttribute(attrName, value);
      attrName.clear();
    } else {
      attrName += ch_;
      Next();
    }
  }
  if (cls_ != kClose) return;  // input ended inside the tag: no node
  THTMLObject* added = node.release();
  current_->AddChild(added);
  if (IsContainer(added->name_)) current_ = added;
  Next();
}
