#pragma once

#include "MainThread.h"
#include "Publisher.h"
#include "Subscription.h"

#include <cstdint>
#include <memory>
#include <type_traits>
#include "SourceLocation.h"
#include <utility>
#include <vector>

namespace lh {

// A stored value that tells its subscribers about every assignment.
//
// - Subscribing delivers the current value at once, then one delivery per assignment.
// - Every assignment delivers, also one that stores an equal value.
// - Delivery is synchronous and happens before the stored value is replaced: a subscriber
//   that reads the property from its callback still sees the old value.
// - Main thread only; every access checks and reports the caller's file and line.
//
// Delivery allocates nothing, so properties assigned twenty times a second stay cheap.
// Subscribers may subscribe or cancel from inside a delivery; a subscriber added during a
// delivery first hears the following one (after its own initial value).
template <class T>
class Observable {
public:
    explicit Observable(T initial = T{})
        : core_(std::make_shared<Core>(std::move(initial)))
    {
    }

    Observable(const Observable&) = delete;
    Observable& operator=(const Observable&) = delete;

    const T& value(const SourceLocation& where = SourceLocation::current()) const
    {
        MainThread::check(where);
        return core_->value;
    }

    void set(T newValue, const SourceLocation& where = SourceLocation::current())
    {
        MainThread::check(where);
        std::shared_ptr<Core> core = core_; // a subscriber may destroy this observable
        core->deliver(newValue);
        core->value = std::move(newValue);
    }

    // An in-place change counts as one assignment and delivers the whole new value. A shared
    // value is changed through a copy of what it shares.
    template <class Change>
    void modify(Change&& change, const SourceLocation& where = SourceLocation::current())
    {
        MainThread::check(where);
        if constexpr (std::is_invocable_v<Change&, T&>) {
            T copy = core_->value;
            std::forward<Change>(change)(copy);
            set(std::move(copy), where);
        } else {
            set(core_->value.modified(std::forward<Change>(change)), where);
        }
    }

    [[nodiscard]] Subscription subscribe(std::function<void(const T&)> receive,
        const SourceLocation& where = SourceLocation::current()) const
    {
        MainThread::check(where);
        return Core::subscribe(core_, std::move(receive));
    }

    // A fresh publisher over this property.
    Publisher<T> publisher() const
    {
        std::weak_ptr<Core> weak = core_;
        return Publisher<T>([weak](typename Publisher<T>::Sink receive) {
            MainThread::check();
            if (auto core = weak.lock())
                return Core::subscribe(core, std::move(receive));
            return Subscription();
        });
    }

private:
    struct Slot {
        std::function<void(const T&)> receive;
        bool isActive = true;
    };

    struct Core {
        explicit Core(T initial)
            : value(std::move(initial))
        {
        }

        static Subscription subscribe(const std::shared_ptr<Core>& core, std::function<void(const T&)> receive)
        {
            core->receivers.push_back(std::make_unique<Slot>(Slot { std::move(receive) }));
            Slot* slot = core->receivers.back().get();
            std::weak_ptr<Core> weak = core;
            Subscription subscription([weak, slot] {
                if (auto alive = weak.lock())
                    alive->remove(slot);
            });
            slot->receive(core->value);
            return subscription;
        }

        void deliver(const T& newValue)
        {
            ++depth;
            const std::size_t count = receivers.size(); // later subscribers already have their value
            for (std::size_t i = 0; i < count; ++i) {
                Slot* slot = receivers[i].get(); // stable while the list grows
                if (slot->isActive)
                    slot->receive(newValue);
            }
            if (--depth == 0 && hasCancelled)
                compact();
        }

        void remove(Slot* slot)
        {
            slot->isActive = false;
            hasCancelled = true;
            if (depth == 0)
                compact();
        }

        void compact()
        {
            std::erase_if(receivers, [](const std::unique_ptr<Slot>& s) { return !s->isActive; });
            hasCancelled = false;
        }

        T value;
        std::vector<std::unique_ptr<Slot>> receivers;
        int depth = 0;
        bool hasCancelled = false;
    };

    std::shared_ptr<Core> core_;
};

} // namespace lh
