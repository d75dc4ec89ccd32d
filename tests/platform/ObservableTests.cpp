#include "Observable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lh {
namespace {

TEST(Observable, SubscribingDeliversTheCurrentValueAtOnce)
{
    Observable<int> property(7);
    std::vector<int> seen;
    auto subscription = property.subscribe([&](int v) { seen.push_back(v); });
    EXPECT_EQ(seen, std::vector<int>({ 7 }));
}

TEST(Observable, EveryAssignmentDeliversAlsoAnEqualValue)
{
    Observable<bool> isPlaying(false);
    int deliveries = 0;
    auto subscription = isPlaying.subscribe([&](bool) { ++deliveries; });
    isPlaying.set(false);
    isPlaying.set(false);
    EXPECT_EQ(deliveries, 3);
}

TEST(Observable, DeliveryHappensBeforeTheStoredValueChanges)
{
    Observable<std::string> title("old");
    std::string readInside;
    std::string delivered;
    auto subscription = title.subscribe([&](const std::string& v) {
        delivered = v;
        readInside = title.value();
    });
    title.set("new");
    EXPECT_EQ(delivered, "new");
    EXPECT_EQ(readInside, "old");
    EXPECT_EQ(title.value(), "new");
}

TEST(Observable, InPlaceChangeDeliversTheWholeNewValueOnce)
{
    Observable<std::vector<int>> list(std::vector<int> { 1 });
    std::vector<std::vector<int>> seen;
    auto subscription = list.subscribe([&](const std::vector<int>& v) { seen.push_back(v); });
    list.modify([](std::vector<int>& v) { v.push_back(2); });
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1], std::vector<int>({ 1, 2 }));
}

TEST(Observable, DroppingTheHandleStopsDeliveries)
{
    Observable<int> property(0);
    int deliveries = 0;
    {
        auto subscription = property.subscribe([&](int) { ++deliveries; });
        property.set(1);
    }
    property.set(2);
    EXPECT_EQ(deliveries, 2);
}

TEST(Observable, SubscribersMayCancelAndSubscribeDuringADelivery)
{
    Observable<int> property(0);
    std::vector<std::string> log;
    Subscription second;
    Subscription late;
    auto first = property.subscribe([&](int v) {
        log.push_back("first " + std::to_string(v));
        if (v == 1) {
            second.cancel(); // the second hears no more, not even this value
            late = property.subscribe([&](int w) { log.push_back("late " + std::to_string(w)); });
        }
    });
    second = property.subscribe([&](int v) { log.push_back("second " + std::to_string(v)); });
    property.set(1);
    property.set(2);
    EXPECT_EQ(log, std::vector<std::string>({ "first 0", "second 0", "first 1", "late 0", "first 2", "late 2" }));
}

TEST(Observable, AHandleOutlivingItsPropertyIsHarmless)
{
    Subscription subscription;
    {
        Observable<int> property(0);
        subscription = property.subscribe([](int) {});
    }
    subscription.cancel();
    EXPECT_FALSE(subscription.isActive());
}

TEST(Observable, PublisherIsAFreshStreamOverTheProperty)
{
    Observable<int> property(1);
    Publisher<int> publisher = property.publisher();
    std::vector<int> a;
    std::vector<int> b;
    auto first = publisher.sink([&](int v) { a.push_back(v); });
    property.set(2);
    auto second = publisher.sink([&](int v) { b.push_back(v); });
    property.set(3);
    EXPECT_EQ(a, std::vector<int>({ 1, 2, 3 }));
    EXPECT_EQ(b, std::vector<int>({ 2, 3 }));
}

TEST(Observable, MapAndRemoveDuplicatesShapeTheStream)
{
    Observable<int> property(1);
    std::vector<int> seen;
    auto subscription = property.publisher()
                            .map([](int v) { return v / 10; })
                            .removeDuplicates()
                            .sink([&](int v) { seen.push_back(v); });
    for (int v : { 2, 5, 12, 19, 3 })
        property.set(v);
    EXPECT_EQ(seen, std::vector<int>({ 0, 1, 0 }));
}

} // namespace
} // namespace lh
