#include "platform/layout/receiver_layout.h"

#include <algorithm>
#include <string>

#include "platform/layout/system_layout.h"

namespace srd {

ReceiverLayout::ReceiverLayout() : current_(&UsKeyboardLayout()) {}

ReceiverLayout::~ReceiverLayout() {
  watcher_.reset();  // its thread calls Use until it has ended
}

std::unique_ptr<ReceiverLayout> ReceiverLayout::Start(const char* displayName,
                                                      const LayoutWatchFactory& watch) {
  std::unique_ptr<ReceiverLayout> layout(new ReceiverLayout());
  if (displayName != nullptr && *displayName != '\0' && watch) {
    ReceiverLayout* self = layout.get();
    layout->watcher_ = watch(displayName, [self](const LayoutName& name) { self->Use(name); });
  }
  if (layout->watcher_ == nullptr) {
    layout->Use(SystemLayoutName());
  }
  return layout;
}

void ReceiverLayout::Rewatch(const std::string& displayName, const LayoutWatchFactory& watch) {
  watcher_.reset();  // first: its thread may still call Use
  if (!displayName.empty() && watch) {
    watcher_ = watch(displayName, [this](const LayoutName& name) { Use(name); });
  }
}

std::unique_ptr<ReceiverLayout> ReceiverLayout::Fixed(const LayoutName& name) {
  std::unique_ptr<ReceiverLayout> layout(new ReceiverLayout());
  layout->Use(name);
  return layout;
}

void ReceiverLayout::Use(const LayoutName& name) {
  std::lock_guard lock(mutex_);
  auto known = std::find_if(known_.begin(), known_.end(),
                            [&](const KeyboardLayout& layout) { return layout.Name() == name; });
  if (known == known_.end()) {
    known_.push_back(MakeKeyboardLayout(name));
    known = known_.end() - 1;
  }
  current_.store(&*known, std::memory_order_release);
}

}  // namespace srd
