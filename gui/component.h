// Components: objects with an owner that destroys what it owns (in the
// reverse order of creation), free notification (a component learns that
// one it references is going away), and the loading / destroying /
// designing states.
//
// Components created with an owner must be allocated with new: the owner
// deletes them. A component without an owner belongs to whoever made it.
// Constructors must not rely on virtual calls reaching a derived class;
// work that needs the finished object goes into Loaded() or a later step.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace gui {

enum class Operation { Insert, Remove };

enum ComponentState : unsigned {
  csLoading = 1,
  csDestroying = 2,
  csDesigning = 4,
  csReading = 8,
  csUpdating = 16,
};

class Component {
 public:
  explicit Component(Component* owner = nullptr);
  Component(const Component&) = delete;
  Component& operator=(const Component&) = delete;
  virtual ~Component();

  Component* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  // Virtual: a component that shows its name follows a rename.
  virtual void SetName(const std::string& n) { name_ = n; }
  intptr_t Tag() const { return tag_; }
  void SetTag(intptr_t t) { tag_ = t; }

  unsigned State() const { return state_; }
  bool Loading() const { return (state_ & csLoading) != 0; }
  bool Destroying() const { return (state_ & csDestroying) != 0; }
  bool Designing() const { return (state_ & csDesigning) != 0; }

  // Owned components in creation order.
  int ComponentCount() const { return int(owned_.size()); }
  Component* Components(int i) const { return owned_[size_t(i)]; }
  Component* FindComponent(const std::string& name) const;
  // Makes c owned by this one (taking it from its previous owner).
  void InsertComponent(Component* c);
  void RemoveComponent(Component* c);
  // Deletes every owned component, the last created first.
  void DestroyComponents();

  // Asks to be told (through Notification(other, Remove)) when other is
  // destroyed; the link is mutual and ends when either goes.
  void FreeNotification(Component* other);
  void RemoveFreeNotification(Component* other);

  // Loading bracket: properties set between BeginLoading and EndLoading are
  // taken as loaded; EndLoading calls Loaded().
  void BeginLoading();
  void EndLoading();

 protected:
  // Told that c is being inserted into or removed from the owned list of
  // this component or of its owner, that c was inserted anywhere below this
  // component (Insert: the owners above hear of it too, c possibly not yet
  // fully made), or that a component this one asked to be told about is
  // going away (Remove). Overrides clear their references and call the
  // base.
  virtual void Notification(Component* c, Operation op);
  // Tells every owned component but c.
  void NotifyOwned(Component* c, Operation op);
  // After loading: the finished object's first chance to act on its
  // properties. Clears csLoading.
  virtual void Loaded();
  // Marks this component and everything it owns as being destroyed.
  void MarkDestroying();
  void SetDesigning(bool d);

 private:
  void SendRemoveNotifications();
  Component* owner_ = nullptr;
  std::string name_;
  intptr_t tag_ = 0;
  unsigned state_ = 0;
  std::vector<Component*> owned_;
  std::vector<Component*> freeNotifies_;
};

}  // namespace gui
