#include "gui/component.h"

#include <algorithm>

namespace gui {

namespace {

void Erase(std::vector<Component*>& v, Component* c) {
  v.erase(std::remove(v.begin(), v.end(), c), v.end());
}

}  // namespace

Component::Component(Component* owner) {
  if (owner) owner->InsertComponent(this);
}

Component::~Component() {
  MarkDestroying();
  SendRemoveNotifications();
  DestroyComponents();
  if (owner_) owner_->RemoveComponent(this);
}

void Component::SendRemoveNotifications() {
  // Everyone that asked to be told, each once; the links end here.
  while (!freeNotifies_.empty()) {
    Component* c = freeNotifies_.back();
    freeNotifies_.pop_back();
    Erase(c->freeNotifies_, this);
    c->Notification(this, Operation::Remove);
  }
  if (owner_) owner_->Notification(this, Operation::Remove);
}

Component* Component::FindComponent(const std::string& name) const {
  if (name.empty()) return nullptr;
  for (Component* c : owned_)
    if (c->name_ == name) return c;
  return nullptr;
}

void Component::InsertComponent(Component* c) {
  if (!c || c->owner_ == this) return;
  if (c->owner_) c->owner_->RemoveComponent(c);
  owned_.push_back(c);
  c->owner_ = this;
  Notification(c, Operation::Insert);
  for (Component* o = owner_; o; o = o->owner_) o->Notification(c, Operation::Insert);
}

void Component::NotifyOwned(Component* c, Operation op) {
  for (size_t i = 0; i < owned_.size(); ++i)
    if (owned_[i] != c) owned_[i]->Notification(c, op);
}

void Component::RemoveComponent(Component* c) {
  if (!c || c->owner_ != this) return;
  Notification(c, Operation::Remove);
  Erase(owned_, c);
  c->owner_ = nullptr;
}

void Component::DestroyComponents() {
  while (!owned_.empty()) {
    Component* c = owned_.back();
    owned_.pop_back();
    c->owner_ = nullptr;
    Notification(c, Operation::Remove);
    delete c;
  }
}

void Component::FreeNotification(Component* other) {
  if (!other || other == this) return;
  if (std::find(freeNotifies_.begin(), freeNotifies_.end(), other) == freeNotifies_.end())
    freeNotifies_.push_back(other);
  if (std::find(other->freeNotifies_.begin(), other->freeNotifies_.end(), this) ==
      other->freeNotifies_.end())
    other->freeNotifies_.push_back(this);
}

void Component::RemoveFreeNotification(Component* other) {
  if (!other) return;
  Erase(freeNotifies_, other);
  Erase(other->freeNotifies_, this);
}

void Component::BeginLoading() { state_ |= csLoading; }

void Component::EndLoading() {
  if (state_ & csLoading) Loaded();
}

void Component::Notification(Component* c, Operation op) {}

void Component::Loaded() { state_ &= ~unsigned(csLoading); }

void Component::MarkDestroying() {
  if (state_ & csDestroying) return;
  state_ |= csDestroying;
  for (Component* c : owned_) c->MarkDestroying();
}

void Component::SetDesigning(bool d) {
  if (d)
    state_ |= csDesigning;
  else
    state_ &= ~unsigned(csDesigning);
}

}  // namespace gui
