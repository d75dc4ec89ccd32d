#pragma once

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <utility>

namespace lh {

// A container that is never changed once made, shared by every copy.
//
// The model's playlist and its per-file maps hold up to hundreds of thousands of entries, and
// every binding that combines them keeps the latest value of each: as plain containers each of
// those copies would duplicate them all on every change. A copy of this shares the one value,
// and since nothing changes it, copies can also cross threads (a save builds its stored form
// from the very list the window shows).
//
// It reads like the value itself: it converts to `const T&` and passes the container
// operations a reader needs through. A change makes a new value (`modified`).
template <class T>
class SharedValue {
public:
    SharedValue()
        : value_(std::make_shared<const T>())
    {
    }

    // Implicit, like the conversion back: a T is what this stands for.
    SharedValue(T value)
        : value_(std::make_shared<const T>(std::move(value)))
    {
    }

    SharedValue(std::initializer_list<typename T::value_type> elements)
        : value_(std::make_shared<const T>(elements))
    {
    }

    operator const T&() const noexcept { return *value_; }
    const T& get() const noexcept { return *value_; }
    const T& operator*() const noexcept { return *value_; }
    const T* operator->() const noexcept { return value_.get(); }

    // A new value made from a copy of this one; this one and its other copies stay as they are.
    template <class Change>
    SharedValue modified(Change&& change) const
    {
        T copy = *value_;
        std::forward<Change>(change)(copy);
        return SharedValue(std::move(copy));
    }

    // Whether this and `other` are copies of one value (not merely equal ones).
    bool isSameAs(const SharedValue& other) const noexcept { return value_ == other.value_; }

    auto size() const noexcept { return value_->size(); }
    bool empty() const noexcept { return value_->empty(); }
    auto begin() const noexcept { return value_->begin(); }
    auto end() const noexcept { return value_->end(); }
    decltype(auto) front() const { return value_->front(); }
    decltype(auto) back() const { return value_->back(); }
    decltype(auto) operator[](std::size_t index) const { return (*value_)[index]; }
    template <class Key>
    decltype(auto) at(const Key& key) const
    {
        return value_->at(key);
    }
    template <class Key>
    auto find(const Key& key) const
    {
        return value_->find(key);
    }
    template <class Key>
    bool contains(const Key& key) const
    {
        return value_->contains(key);
    }

    friend bool operator==(const SharedValue& a, const SharedValue& b)
    {
        return a.value_ == b.value_ || *a.value_ == *b.value_;
    }
    friend bool operator==(const SharedValue& a, const T& b) { return *a.value_ == b; }

private:
    std::shared_ptr<const T> value_; // never null
};

} // namespace lh
