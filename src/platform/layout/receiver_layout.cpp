#include "platform/layout/receiver_layout.h"

#include <algorithm>
#include <string>

#include "platform/layout/system_layout.h"

namespace srd {

namespace {

// More layouts than a user switches between; and how long one that leaves the set is kept for a reader.
constexpr std::size_t kKnownLimit = 16;
constexpr std::chrono::seconds kRetiredFor{2};

}  // namespace

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
  auto known =
      std::find_if(known_.begin(), known_.end(), [&](const auto& layout) { return layout->Name() == name; });
  if (known != known_.end()) {
    std::rotate(known, known + 1, known_.end());  // the most recent last
    current_.store(known_.back().get(), std::memory_order_release);
    return;
  }
  const auto now = Clock::now();
  // A reader looks one code up in the layout it loaded: long gone after this time.
  std::erase_if(retired_, [&](const auto& retired) { return now - retired.second > kRetiredFor; });
  if (known_.size() >= kKnownLimit) {
    if (retired_.size() >= kKnownLimit) {
      return;  // a source switching faster than any user does: the current layout holds for now
    }
    // The least recent; never the current one, which is the most recent.
    retired_.emplace_back(std::move(known_.front()), now);
    known_.erase(known_.begin());
  }
  known_.push_back(std::make_unique<KeyboardLayout>(MakeKeyboardLayout(name)));
  current_.store(known_.back().get(), std::memory_order_release);
}

}  // namespace srd
