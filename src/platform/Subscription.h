#pragma once

#include <functional>
#include <vector>

namespace lh {

// A cancellable handle on a subscription; dropping it cancels. Move-only.
class Subscription {
public:
    Subscription() = default;
    explicit Subscription(std::function<void()> cancel);
    ~Subscription();

    Subscription(Subscription&& other) noexcept;
    Subscription& operator=(Subscription&& other) noexcept;
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;

    void cancel();
    bool isActive() const noexcept { return static_cast<bool>(cancel_); }

private:
    std::function<void()> cancel_;
};

// The handles a view keeps for as long as it lives.
using Subscriptions = std::vector<Subscription>;

} // namespace lh
