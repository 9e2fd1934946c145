// The examples of docs/CONVENTIONS.md, compiled and checked, so that the document stays true.
#include <gtest/gtest.h>

#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"

namespace {

class Listing : public NSObject {
    NS_OBJECT(Listing, NSObject)
    bool initWithTitle(NSString* title) {  // an initialiser: false means failure (nil)
        title_ = title ? title->copy() : nullptr;
        return title_ != nullptr;
    }
    Ref<NSString> title() { return title_; }            // property getter
    void setTitle(NSString* t) { title_ = t->copy(); }  // "copy" property setter
private:
    Ref<NSString> title_;  // owned
};

// Stand-ins for the request engine's types, enough for the protocol example.
class NKHTTPRequest : public NSObject {
    NS_OBJECT(NKHTTPRequest, NSObject)
};
class NKHTTPRequestDelegate {
public:
    virtual ~NKHTTPRequestDelegate() = default;
    virtual void requestFinished(NKHTTPRequest*) {}
    virtual void requestFailed(NKHTTPRequest*) {}
    virtual void requestStarted(NKHTTPRequest*) {}
};

class ResultScreen : public NSObject, public NKHTTPRequestDelegate {
    NS_OBJECT(ResultScreen, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"requestFinished:", "requestFailed:"});  // answers only
        c.method("reloadRows", &ResultScreen::reloadRows);     // callable by name
    }
    void requestFinished(NKHTTPRequest*) override { ++finished; }
    void reloadRows() { ++reloads; }
    int finished = 0;
    int reloads = 0;
};

TEST(Conventions, ObjectsAreMadeThroughInitialisers) {
    auto listing = make<Listing>(&Listing::initWithTitle, NS("Bike"));
    ASSERT_NE(listing, nullptr);
    EXPECT_EQ(listing->title()->utf8(), "Bike");
    EXPECT_EQ(make<Listing>(&Listing::initWithTitle, nullptr), nullptr);

    // A "copy" property keeps its own value even when given a mutable string.
    auto text = NSMutableString::stringWithString(NS("Car"));
    listing->setTitle(text);
    text->appendString(NS("s"));
    EXPECT_EQ(listing->title()->utf8(), "Car");
}

TEST(Conventions, ResultsAreHeldInRefs) {
    auto title = NSString::stringWithFormat(NS("%@ (%d)"), NS("Bike"), 3);
    EXPECT_EQ(title->utf8(), "Bike (3)");
    Ref<NSObject> any = title;
    auto s = as<NSString>(any);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s.get(), title.get());
}

TEST(Conventions, OptionalMethodsAreProbedThroughTheRuntime) {
    auto screen = make<ResultScreen>();
    auto request = make<NKHTTPRequest>();
    Weak<NKHTTPRequestDelegate> delegate = screen.get();

    // The caller's side of an optional delegate method.
    for (const char* name : {"requestStarted:", "requestFinished:"}) {
        auto d = delegate.lock();
        if (respondsTo(d.get(), Selector::named(name))) {
            d->requestFinished(request);
        }
    }
    EXPECT_EQ(screen->finished, 1);
    screen->performSelector(Selector::named("reloadRows"));
    EXPECT_EQ(screen->reloads, 1);

    // A freed delegate is never messaged.
    screen = nullptr;
    EXPECT_EQ(delegate.lock(), nullptr);
}

}  // namespace
