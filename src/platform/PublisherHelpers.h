#pragma once

#include "MainThread.h"
#include "Publisher.h"

#include <memory>
#include <optional>
#include <tuple>

namespace lh {

// The latest values of two streams, delivered whenever either delivers once both have.
template <class A, class B>
Publisher<std::tuple<A, B>> combineLatest(Publisher<A> a, Publisher<B> b)
{
    using Out = std::tuple<A, B>;
    return Publisher<Out>([a, b](typename Publisher<Out>::Sink receive) {
        struct State {
            std::optional<A> a;
            std::optional<B> b;
            typename Publisher<Out>::Sink receive;
            void deliverLatest()
            {
                if (a && b)
                    receive(Out(*a, *b));
            }
        };
        auto state = std::make_shared<State>(State { {}, {}, std::move(receive) });
        auto first = std::make_shared<Subscription>(a.sink([state](const A& v) { state->a = v; state->deliverLatest(); }));
        auto second = std::make_shared<Subscription>(b.sink([state](const B& v) { state->b = v; state->deliverLatest(); }));
        return Subscription([first, second] {
            first->cancel();
            second->cancel();
        });
    });
}

// The latest values of three streams, delivered whenever any delivers once all have.
template <class A, class B, class C>
Publisher<std::tuple<A, B, C>> combineLatest(Publisher<A> a, Publisher<B> b, Publisher<C> c)
{
    return combineLatest(combineLatest(a, b), c).map([](const std::tuple<std::tuple<A, B>, C>& v) {
        return std::tuple<A, B, C>(std::get<0>(std::get<0>(v)), std::get<1>(std::get<0>(v)), std::get<1>(v));
    });
}

// Debounce with a zero interval: a burst of values delivered in one turn of the event loop
// reaches the subscriber once, later, as its last value.
template <class T>
Publisher<T> debounced(Publisher<T> upstream,
    std::function<void(std::function<void()>)> schedule = MainThread::post)
{
    return Publisher<T>([upstream, schedule](typename Publisher<T>::Sink receive) {
        struct State {
            std::optional<T> latest;
            unsigned long generation = 0;
            typename Publisher<T>::Sink receive;
        };
        auto state = std::make_shared<State>(State { {}, 0, std::move(receive) });
        auto inner = std::make_shared<Subscription>(upstream.sink([state, schedule](const T& value) {
            state->latest = value;
            const unsigned long generation = ++state->generation;
            std::weak_ptr<State> weak = state;
            schedule([weak, generation] {
                auto alive = weak.lock();
                if (alive && alive->generation == generation && alive->latest)
                    alive->receive(*alive->latest);
            });
        }));
        return Subscription([inner, state]() mutable {
            inner->cancel();
            state->generation = 0;
            state->latest.reset();
        });
    });
}

} // namespace lh
