#include <gtest/gtest.h>

#include <algorithm>

#include "Foundation/NSException.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSValue.h"
#include "Foundation/Runtime.h"

namespace {

struct Pair {
    float a;
    float b;
};

}  // namespace

template <>
struct ObjCTypeEncoding<Pair> {
    static constexpr const char* value = "{Pair=ff}";
};

namespace {

class Widget : public NSObject {
    NS_OBJECT(Widget, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.initializer("initWithSize:", &Widget::initWithSize)
            .property("size", &Widget::size, &Widget::setSize)
            .property("name", &Widget::name, &Widget::setName)
            .property("ratio", &Widget::ratio)
            .method("scale:by:", &Widget::scale)
            .method("describeObject:", &Widget::describeObject)
            .method("span", &Widget::span)
            .method("setSpan:", &Widget::setSpan)
            .method("isWide", &Widget::isWide)
            .classMethod("widgetCount", &Widget::widgetCount)
            .implements({"requestFinished:"});
    }
    bool initWithSize(int s) {
        size_ = s;
        return s >= 0;
    }
    int size() { return size_; }
    void setSize(int s) { size_ = s; }
    Ref<NSString> name() { return name_; }
    void setName(NSString* n) { name_ = n; }
    double ratio() { return size_ / 4.0; }
    long long scale(int by, double factor) { return static_cast<long long>(size_ * by * factor); }
    Ref<NSString> describeObject(NSObject* o) { return o ? o->description() : nullptr; }
    Pair span() { return span_; }
    void setSpan(Pair p) { span_ = p; }
    bool isWide() { return size_ > 10; }
    static int widgetCount() { return 12; }

private:
    int size_ = 0;
    Ref<NSString> name_;
    Pair span_{0, 0};
};

class Gadget : public Widget {
    NS_OBJECT(Gadget, Widget)
    static void describeClass(RuntimeClass& c) { c.method("extra", &Gadget::extra); }
    int extra() { return 5; }
};

TEST(Runtime, ClassesAreFoundByNameOnceMade) {
    EXPECT_EQ(classNamed("NeverMadeClass"), nullptr);
    Class w = Gadget::staticClass();
    EXPECT_EQ(classNamed("Gadget"), w);
    EXPECT_EQ(classNamed("Widget"), Widget::staticClass());
    EXPECT_EQ(NSClassFromString(NS("Widget")), Widget::staticClass());
    EXPECT_EQ(NSClassFromString(NS("NoSuchClassAnywhere")), nullptr);
    EXPECT_EQ(NSStringFromClass(w)->utf8(), "Gadget");
    EXPECT_TRUE(w->isSubclassOfClass(Widget::staticClass()));
    EXPECT_FALSE(Widget::staticClass()->isSubclassOfClass(w));
    EXPECT_EQ(w->description()->utf8(), "Gadget");
}

TEST(Runtime, SelectorsAreInterned) {
    SEL a = Selector::named("scale:by:");
    EXPECT_EQ(a, Selector::named("scale:by:"));
    EXPECT_NE(a, Selector::named("scale:"));
    EXPECT_EQ(a->keywordCount, 2u);
    EXPECT_EQ(NSSelectorFromString(NS("scale:by:")), a);
    EXPECT_EQ(NSStringFromSelector(a)->utf8(), "scale:by:");
}

TEST(Runtime, RespondsToRegisteredAndInheritedMethods) {
    auto g = make<Gadget>();
    EXPECT_TRUE(g->respondsToSelector(Selector::named("extra")));
    EXPECT_TRUE(g->respondsToSelector(Selector::named("scale:by:")));
    EXPECT_TRUE(g->respondsToSelector(Selector::named("requestFinished:")));
    EXPECT_FALSE(g->respondsToSelector(Selector::named("requestFailed:")));
    auto w = make<Widget>();
    EXPECT_FALSE(w->respondsToSelector(Selector::named("extra")));
    // A class object answers for its class methods.
    EXPECT_TRUE(Widget::staticClass()->respondsToSelector(Selector::named("widgetCount")));
    EXPECT_TRUE(static_cast<NSObject*>(Widget::staticClass())
                    ->respondsToSelector(Selector::named("widgetCount")));
    EXPECT_FALSE(Widget::staticClass()->respondsToSelector(Selector::named("size")));
}

TEST(Runtime, TypeCodesFollowSignatures) {
    Class c = Widget::staticClass();
    EXPECT_EQ(c->instanceMethod(Selector::named("scale:by:"))->types, "q@:id");
    EXPECT_EQ(c->instanceMethod(Selector::named("setName:"))->types, "v@:@");
    EXPECT_EQ(c->instanceMethod(Selector::named("isWide"))->types, "B@:");
    EXPECT_EQ(c->instanceMethod(Selector::named("span"))->types, "{Pair=ff}@:");
    EXPECT_EQ(c->instanceMethod(Selector::named("initWithSize:"))->types, "@@:i");
    EXPECT_EQ(c->classMethod(Selector::named("widgetCount"))->types, "i#:");
    const Method* m = c->instanceMethod(Selector::named("scale:by:"));
    EXPECT_EQ(m->numberOfArguments(), 4u);
    EXPECT_EQ(m->argumentType(2), "i");
    EXPECT_EQ(m->argumentType(3), "d");
    EXPECT_EQ(m->returnType(), "q");
}

TEST(Runtime, MethodListKeepsRegistrationOrder) {
    std::vector<std::string> names;
    for (const Method& m : Widget::staticClass()->methods())
        names.push_back(m.selector->name);
    ASSERT_GE(names.size(), 5u);
    EXPECT_EQ(names[0], "initWithSize:");
    EXPECT_EQ(names[1], "size");
    EXPECT_EQ(names[2], "setSize:");
    // Only the class's own entries are listed; inherited ones are not.
    for (const Method& m : Gadget::staticClass()->methods())
        EXPECT_EQ(m.selector->name, "extra");
}

TEST(Runtime, MethodsKnowTheirCodeAndClassesAreListed) {
    Class c = Widget::staticClass();
    long long (Widget::*scale)(int, double) = &Widget::scale;
    const Method* m = c->instanceMethod(Selector::named("scale:by:"));
    EXPECT_NE(m->code, nullptr);
    EXPECT_EQ(m->code, objc_detail::codeOf(scale, typeid(Widget)));
    EXPECT_EQ(c->classMethod(Selector::named("widgetCount"))->code,
              reinterpret_cast<const void*>(&Widget::widgetCount));
    // An entry that only answers probes has no code.
    EXPECT_EQ(c->instanceMethod(Selector::named("requestFinished:"))->code, nullptr);
    auto classes = registeredClasses();
    EXPECT_NE(std::find(classes.begin(), classes.end(), c), classes.end());
    EXPECT_NE(std::find(classes.begin(), classes.end(), NSObject::staticClass()), classes.end());
}

TEST(Runtime, SplittingTypeStrings) {
    auto parts = splitTypeCodes("{CGRect={CGPoint=ff}{CGSize=ff}}@:^v@\"NSString\"r*q16");
    std::vector<std::string> want = {
        "{CGRect={CGPoint=ff}{CGSize=ff}}", "@", ":", "^v", "@\"NSString\"", "r*", "q"};
    EXPECT_EQ(parts, want);
    EXPECT_EQ(sizeOfTypeCode("{CGRect={CGPoint=ff}{CGSize=ff}}"), 16u);
    EXPECT_EQ(sizeOfTypeCode("v"), 0u);
    EXPECT_EQ(sizeOfTypeCode("@"), sizeof(void*));
}

TEST(Runtime, InvocationConvertsArgumentsToDeclaredTypes) {
    auto w = make<Widget>();
    w->setSize(3);
    // Boxed numbers reach scalar parameters; the scalar result comes back as a value.
    Value args[] = {Value::ofObject(NSNumber::numberWithInt(2)), Value::ofSigned(5)};
    Value r = invokeMethod(w, Selector::named("scale:by:"), args);
    EXPECT_EQ(r.type(), "q");
    EXPECT_EQ(r.toLongLong(), 30);
    // A number handed to an object parameter arrives boxed.
    Value one[] = {Value::ofSigned(9, 'i')};
    Value d = invokeMethod(w, Selector::named("describeObject:"), one);
    EXPECT_EQ(as<NSString>(d.object())->utf8(), "9");
    // Missing trailing arguments arrive as nil.
    Value none = invokeMethod(w, Selector::named("describeObject:"), {});
    EXPECT_EQ(none.object(), nullptr);
    // Structs travel boxed and come back whole.
    Value s[] = {Value::of(Pair{1.5f, 2.5f})};
    invokeMethod(w, Selector::named("setSpan:"), s);
    Pair back = invokeMethod(w, Selector::named("span"), {}).to<Pair>();
    EXPECT_FLOAT_EQ(back.a, 1.5f);
    EXPECT_FLOAT_EQ(back.b, 2.5f);
}

TEST(Runtime, UnknownSelectorsRaise) {
    auto w = make<Widget>();
    try {
        w->performSelector(Selector::named("noSuchThing"));
        FAIL() << "no exception";
    } catch (const ExceptionRaised& e) {
        EXPECT_EQ(e.exception->name()->utf8(), "NSInvalidArgumentException");
        EXPECT_NE(e.exception->reason()->utf8().find("noSuchThing"), std::string::npos);
    }
    // A declared-only entry answers respondsToSelector: but cannot be called by name.
    EXPECT_THROW(w->performSelector(Selector::named("requestFinished:"), nullptr), ExceptionRaised);
}

TEST(Runtime, PerformSelectorBoxesResults) {
    auto w = make<Widget>();
    w->setSize(12);
    auto isWide = as<NSNumber>(w->performSelector(Selector::named("isWide")));
    ASSERT_NE(isWide, nullptr);
    EXPECT_TRUE(isWide->boolValue());
    EXPECT_EQ(w->performSelector(Selector::named("setSize:"), NSNumber::numberWithInt(4)), nullptr);
    EXPECT_EQ(w->size(), 4);
    auto count = as<NSNumber>(static_cast<NSObject*>(Widget::staticClass())
                                  ->performSelector(Selector::named("widgetCount")));
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(count->intValue(), 12);
}

TEST(Runtime, SignaturesAndInvocations) {
    auto w = make<Widget>();
    w->setSize(2);
    auto sig = w->methodSignatureForSelector(Selector::named("scale:by:"));
    ASSERT_NE(sig, nullptr);
    EXPECT_EQ(sig->numberOfArguments(), 4u);
    EXPECT_EQ(sig->getArgumentTypeAtIndex(3), "d");
    EXPECT_EQ(sig->methodReturnType(), "q");
    EXPECT_EQ(sig->methodReturnLength(), 8u);
    EXPECT_EQ(w->methodSignatureForSelector(Selector::named("setSize:"))->methodReturnLength(), 0u);
    EXPECT_EQ(w->methodSignatureForSelector(Selector::named("absent")), nullptr);
    EXPECT_THROW(sig->getArgumentTypeAtIndex(4), ExceptionRaised);

    auto inv = NSInvocation::invocationWithMethodSignature(sig);
    inv->setTarget(w);
    inv->setSelector(Selector::named("scale:by:"));
    inv->setArgument(Value::ofSigned(3, 'i'), 2);
    inv->setArgument(Value::ofDouble(1.5), 3);
    inv->invoke();
    EXPECT_EQ(inv->returnValue().toLongLong(), 9);
    EXPECT_THROW(inv->setArgument(Value::ofSigned(1), 4), ExceptionRaised);
}

TEST(Runtime, InstancesMadeByNameThenInitialised) {
    Widget::staticClass();  // registration is explicit: a class is known by name once made
    Class c = classNamed("Widget");
    ASSERT_NE(c, nullptr);
    Ref<NSObject> fresh = c->createInstance();
    ASSERT_NE(fresh, nullptr);
    EXPECT_TRUE(fresh->isMemberOfClass(c));
    Value arg[] = {Value::ofSigned(6, 'i')};
    Value r = invokeMethod(fresh, Selector::named("initWithSize:"), arg);
    EXPECT_EQ(r.object(), fresh.get());
    EXPECT_EQ(as<Widget>(fresh)->size(), 6);
    Value bad[] = {Value::ofSigned(-1, 'i')};
    EXPECT_EQ(invokeMethod(c->createInstance(), Selector::named("initWithSize:"), bad).object(),
              nullptr);
}

TEST(Runtime, PropertiesCarryAttributeStrings) {
    Class c = Widget::staticClass();
    ASSERT_NE(c->property("size"), nullptr);
    EXPECT_EQ(c->property("size")->attributes, "Ti,N");
    EXPECT_EQ(c->property("name")->attributes, "T@\"NSString\",&,N");
    EXPECT_EQ(c->property("ratio")->attributes, "Td,N,R");
    EXPECT_EQ(c->property("ratio")->setter, nullptr);
    EXPECT_EQ(c->property("nothing"), nullptr);
    EXPECT_NE(Gadget::staticClass()->property("size"), nullptr);  // inherited
}

TEST(Runtime, KeyValueCodingBoxesAndUnboxes) {
    auto w = make<Widget>();
    w->setValue(NSNumber::numberWithDouble(7.9), NS("size"));
    EXPECT_EQ(w->size(), 7);
    auto size = as<NSNumber>(w->valueForKey(NS("size")));
    ASSERT_NE(size, nullptr);
    EXPECT_EQ(size->intValue(), 7);
    EXPECT_DOUBLE_EQ(as<NSNumber>(w->valueForKey(NS("ratio")))->doubleValue(), 1.75);
    w->setValue(NS("bolt"), NS("name"));
    EXPECT_EQ(as<NSString>(w->valueForKey(NS("name")))->utf8(), "bolt");
    w->setValue(nullptr, NS("name"));
    EXPECT_EQ(w->name(), nullptr);
    // A plain zero-argument method answers as a key too.
    EXPECT_TRUE(as<NSNumber>(w->valueForKey(NS("isWide")))->boolValue() == false);

    try {
        w->valueForKey(NS("colour"));
        FAIL() << "no exception";
    } catch (const ExceptionRaised& e) {
        EXPECT_EQ(e.exception->name()->utf8(), "NSUnknownKeyException");
    }
    EXPECT_THROW(w->setValue(NS("x"), NS("ratio")), ExceptionRaised);  // read-only
    EXPECT_THROW(w->setValue(nullptr, NS("size")), ExceptionRaised);   // nil for a scalar
}

TEST(Runtime, ValuesConvertBetweenKinds) {
    EXPECT_EQ(Value::ofDouble(3.9).to<int>(), 3);
    EXPECT_TRUE(Value::ofSigned(2).to<bool>());
    EXPECT_FALSE(Value::ofDouble(0.0).to<bool>());
    EXPECT_EQ(Value::ofUnsigned(7).to<double>(), 7.0);
    EXPECT_EQ(Value::ofObject(NSNumber::numberWithLongLong(1LL << 40)).to<long long>(), 1LL << 40);
    NSString* text = NS("text");
    EXPECT_EQ(Value::ofObject(text).to<NSString*>(), text);
    EXPECT_EQ(Value::ofObject(text).to<NSNumber*>(), nullptr);
    auto boxed = as<NSNumber>(Value::ofDouble(2.5, 'f').boxed());
    ASSERT_NE(boxed, nullptr);
    EXPECT_STREQ(boxed->objCType(), "f");
    EXPECT_EQ(Value().boxed(), nullptr);
    EXPECT_TRUE(Value().isVoid());
    EXPECT_EQ(Value::unbox(NSNumber::numberWithInt(5), "d").toDouble(), 5.0);
}

}  // namespace
