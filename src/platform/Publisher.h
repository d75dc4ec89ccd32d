#pragma once

#include "Subscription.h"

#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

namespace lh {

// A type-erased stream of values: subscribing starts a delivery that lasts as long as the
// returned handle. Streams never complete and never fail. Main thread only, like the
// observables they come from.
template <class T>
class Publisher {
public:
    using Value = T;
    using Sink = std::function<void(const T&)>;
    using SubscribeFunction = std::function<Subscription(Sink)>;

    explicit Publisher(SubscribeFunction subscribe)
        : subscribe_(std::move(subscribe))
    {
    }

    [[nodiscard]] Subscription sink(Sink receive) const { return subscribe_(std::move(receive)); }

    template <class F>
    auto map(F transform) const
    {
        using U = std::decay_t<std::invoke_result_t<F&, const T&>>;
        auto upstream = subscribe_;
        return Publisher<U>([upstream, transform](typename Publisher<U>::Sink receive) {
            return upstream([transform, receive = std::move(receive)](const T& value) {
                receive(transform(value));
            });
        });
    }

    // Passes a value on only when it differs from the one passed before it.
    Publisher removeDuplicates() const
    {
        auto upstream = subscribe_;
        return Publisher([upstream](Sink receive) {
            auto last = std::make_shared<std::optional<T>>();
            return upstream([last, receive = std::move(receive)](const T& value) {
                if (*last && **last == value)
                    return;
                *last = value;
                receive(value);
            });
        });
    }

private:
    SubscribeFunction subscribe_;
};

} // namespace lh
