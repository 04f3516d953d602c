// SPDX-License-Identifier: GPL-2.0-or-later
// Owned components: a component made with an owner is destroyed with it.
#pragma once

#include <algorithm>
#include <functional>
#include <vector>

namespace hardsid {

class TComponent;

/// An event raised with the component that raises it as the sender.
using TNotifyEvent = std::function<void(TComponent* sender)>;

/// Base of the window object's parts. A component with an owner must be made with new:
/// the owner deletes it, newest first, when the owner itself is destroyed.
class TComponent {
public:
    explicit TComponent(TComponent* owner) : owner_(owner) {
        if (owner_ != nullptr) {
            owner_->components_.push_back(this);
        }
    }
    virtual ~TComponent() {
        while (!components_.empty()) {
            delete components_.back(); // its destructor takes it off our list
        }
        if (owner_ != nullptr) {
            std::erase(owner_->components_, this);
        }
    }
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const noexcept { return owner_; }

    /// True while the owner is still restoring the component from its stored form.
    bool IsLoading() const noexcept { return loading_; }
    void SetLoading(bool loading) noexcept { loading_ = loading; }

private:
    TComponent* owner_;
    std::vector<TComponent*> components_;
    bool loading_ = false;
};

} // namespace hardsid
