// The object runtime: class objects with names and superclass chains, selectors, method tables
// with type codes and invokers over a dynamic value, property tables with attribute strings,
// look-up by name and run-time invocations. A class registers what must be reachable by name in
// its describeClass(RuntimeClass&) hook; nothing else pays for it.
#pragma once

#include <cctype>
#include <memory>
#include <span>
#include <string>
#include <tuple>
#include <typeinfo>
#include <vector>

#include "Foundation/NSObject.h"

// An interned selector name; two SELs are equal exactly when their names are.
struct Selector {
    std::string name;
    unsigned keywordCount = 0;  // the number of ':' in the name (its argument count)
    static SEL named(std::string_view name);
};

SEL NSSelectorFromString(NSString* name);
Ref<NSString> NSStringFromSelector(SEL sel);
Class NSClassFromString(NSString* name);
// Every class object made so far (a class is entered when its class object is first made).
std::vector<Class> registeredClasses();
Ref<NSString> NSStringFromClass(Class cls);
// Look-up by a C++ name, without making a string object.
Class classNamed(std::string_view name);
// A hidden class is not found by name (it still exists for code that names it in C++): the
// stand-in for a weakly linked framework class that the device lacks.
void setClassNameHidden(std::string_view name, bool hidden);

// Type codes of the runtime ("v" void, "B" bool, "c" char, "i" int, "q" long long, "f" float,
// "d" double, "@" object, "#" class, ":" selector, "*" C string, "^v" pointer, "{Name=...}"
// structs). A struct type is made known with a specialisation of ObjCTypeEncoding.
template <class T>
struct ObjCTypeEncoding;

namespace objc_detail {
template <class T>
struct IsRef : std::false_type {};
template <class T>
struct IsRef<Ref<T>> : std::true_type {
    using type = T;
};
template <class T, class = void>
struct HasEncoding : std::false_type {};
template <class T>
struct HasEncoding<T, std::void_t<decltype(ObjCTypeEncoding<T>::value)>> : std::true_type {};
}  // namespace objc_detail

template <class T>
std::string typeCodeOf() {
    using U = std::remove_cvref_t<T>;
    if constexpr (std::is_void_v<U>)
        return "v";
    else if constexpr (std::is_same_v<U, bool>)
        return "B";
    else if constexpr (std::is_same_v<U, char> || std::is_same_v<U, signed char>)
        return "c";
    else if constexpr (std::is_same_v<U, unsigned char>)
        return "C";
    else if constexpr (std::is_same_v<U, short>)
        return "s";
    else if constexpr (std::is_same_v<U, unsigned short>)
        return "S";
    else if constexpr (std::is_same_v<U, int>)
        return "i";
    else if constexpr (std::is_same_v<U, unsigned>)
        return "I";
    else if constexpr (std::is_same_v<U, long> || std::is_same_v<U, long long>)
        return "q";
    else if constexpr (std::is_same_v<U, unsigned long> || std::is_same_v<U, unsigned long long>)
        return "Q";
    else if constexpr (std::is_same_v<U, float>)
        return "f";
    else if constexpr (std::is_same_v<U, double>)
        return "d";
    else if constexpr (std::is_enum_v<U>)
        return typeCodeOf<std::underlying_type_t<U>>();
    else if constexpr (std::is_same_v<U, SEL>)
        return ":";
    else if constexpr (std::is_same_v<U, Class>)
        return "#";
    else if constexpr (std::is_same_v<U, const char*> || std::is_same_v<U, char*>)
        return "*";
    else if constexpr (objc_detail::IsRef<U>::value)
        return "@";
    else if constexpr (std::is_pointer_v<U> && std::is_polymorphic_v<std::remove_pointer_t<U>>)
        return "@";
    else if constexpr (std::is_pointer_v<U>)
        return "^v";
    else if constexpr (objc_detail::HasEncoding<U>::value)
        return ObjCTypeEncoding<U>::value;
    else
        static_assert(sizeof(U) == 0, "no runtime type code for this type");
}

// Splits a method type string ("v@:@", "{CGRect={CGPoint=ff}{CGSize=ff}}@:") into its elements.
std::vector<std::string> splitTypeCodes(std::string_view types);
// Bytes a value of the type takes (objects and pointers: a pointer's width; void: 0).
size_t sizeOfTypeCode(std::string_view code);

// A dynamic value: what the runtime passes to and returns from invoked methods. Numbers
// convert among themselves and to and from NSNumber; structs travel boxed in an NSValue.
class Value {
public:
    Value() = default;  // void
    static Value ofObject(NSObject* o);
    static Value ofClass(Class c);
    static Value ofSelector(SEL s);
    static Value ofSigned(long long v, char code = 'q');
    static Value ofUnsigned(unsigned long long v, char code = 'Q');
    static Value ofDouble(double v, char code = 'd');
    static Value ofBool(bool v);
    static Value ofPointer(const void* p, const char* code = "^v");
    static Value ofStruct(const void* bytes, size_t size, std::string_view code);

    template <class T>
    static Value of(const T& v);
    template <class T>
    T to() const;

    const std::string& type() const { return type_; }
    bool isVoid() const { return type_ == "v"; }
    bool isObject() const { return type_ == "@" || type_ == "#"; }
    bool isNumeric() const;
    bool isStruct() const { return !type_.empty() && type_[0] == '{'; }

    NSObject* object() const { return obj_.get(); }
    SEL selector() const { return sel_; }
    long long toLongLong() const;
    unsigned long long toUnsignedLongLong() const;
    double toDouble() const;
    bool toBool() const;
    const void* pointer() const { return ptr_; }
    // Copies a struct's bytes out; false when the value holds no struct of that size.
    bool getStruct(void* out, size_t size) const;
    // The value as an object: itself, an NSNumber for numbers, an NSValue for structs and
    // pointers, the selector's name for a selector, nil for void.
    Ref<NSObject> boxed() const;
    // Converts a boxed object back into a value of the given type code (NSNumber to numbers,
    // NSValue to structs); used by key-value coding and invocations.
    static Value unbox(NSObject* o, std::string_view code);

private:
    std::string type_ = "v";
    union {
        long long i;
        unsigned long long u;
        double d;
    } n_{0};
    const void* ptr_ = nullptr;
    SEL sel_ = nullptr;
    Ref<NSObject> obj_;  // objects, classes and boxed structs
};

using MethodImp = std::function<Value(NSObject* self, std::span<const Value> args)>;

// One entry of a method table. `types` lists the return type, then self ("@") and the
// selector (":"), then the arguments, as the runtime's signatures do.
struct Method {
    SEL selector = nullptr;
    std::string types;
    MethodImp imp;  // empty for an entry that only answers respondsToSelector:
    // Where the method's own code starts (for naming the methods of a call stack); null when
    // unknown: an entry without code, or a virtual function whose class's virtual table is
    // not among the program's exported symbols (programs are linked with -rdynamic).
    const void* code = nullptr;

    std::vector<std::string> typeList() const { return splitTypeCodes(types); }
    unsigned numberOfArguments() const;  // including self and the selector
    std::string argumentType(unsigned index) const;
    std::string returnType() const;
};

// One entry of a property table. The attribute string begins with "T" and the type code
// ("T@\"NSString\",&,N", "Ti,N", ",R" when read-only).
struct Property {
    std::string name;
    std::string attributes;
    SEL getter = nullptr;
    SEL setter = nullptr;
};

class RuntimeClass final : public NSObject {
public:
    RuntimeClass(std::string name, Class superclass, const std::type_info& type,
                 objc_detail::AllocFn alloc);
    Class getClass() override;
    Ref<NSString> description() override;

    const std::string& name() const { return name_; }
    Class superclass() const { return super_; }
    const std::type_info& cppType() const { return *type_; }
    bool isSubclassOfClass(Class other);
    // A new, uninitialised instance (alloc); nil for a class that cannot be made by name.
    Ref<NSObject> createInstance();

    // Method tables. Look-ups walk the superclass chain; the lists hold the class's own
    // entries in registration order.
    void addMethod(Method m);
    void addClassMethod(Method m);
    const Method* instanceMethod(SEL sel);
    const Method* classMethod(SEL sel);
    const std::vector<Method>& methods() const { return methods_; }
    const std::vector<Method>& classMethods() const { return classMethods_; }
    bool instancesRespondToSelector(SEL sel) { return instanceMethod(sel) != nullptr; }
    // A class object answers for its class methods.
    bool respondsToSelector(SEL sel) override { return classMethod(sel) != nullptr; }

    void addProperty(Property p);
    const Property* property(std::string_view name);
    const std::vector<Property>& properties() const { return properties_; }

    // Registration helpers for describeClass().
    // An instance method from a member function; type codes follow from its signature.
    template <class C, class R, class... A>
    RuntimeClass& method(std::string_view sel, R (C::*fn)(A...));
    // An initialiser (bool result): invoked by name it returns self, or nil when it fails.
    template <class C, class... A>
    RuntimeClass& initializer(std::string_view sel, bool (C::*fn)(A...));
    // A class method from a free or static function.
    template <class R, class... A>
    RuntimeClass& classMethod(std::string_view sel, R (*fn)(A...));
    // A property read (and written) through member functions, also entered as methods.
    template <class C, class G>
    RuntimeClass& property(std::string_view name, G (C::*getter)());
    template <class C, class G, class S>
    RuntimeClass& property(std::string_view name, G (C::*getter)(), void (C::*setter)(S));
    // Entries that only declare that instances implement these (overrides of optional
    // protocol methods that are called directly, not by name).
    RuntimeClass& implements(std::initializer_list<std::string_view> selectors);

private:
    template <class G>
    static std::string propertyAttributes(bool readOnly);

    std::string name_;
    Class super_;
    const std::type_info* type_;
    objc_detail::AllocFn alloc_;
    std::vector<Method> methods_, classMethods_;
    std::vector<Property> properties_;
};

// The platform's signature and invocation objects, built on the method tables.
class NSMethodSignature : public NSObject {
    NS_OBJECT(NSMethodSignature, NSObject)
    static Ref<NSMethodSignature> signatureWithObjCTypes(const char* types);
    NSUInteger numberOfArguments();
    std::string getArgumentTypeAtIndex(NSUInteger index);
    std::string methodReturnType();
    NSUInteger methodReturnLength();
    const std::string& types() const { return types_; }

private:
    std::string types_;
    std::vector<std::string> list_;
};

class NSInvocation : public NSObject {
    NS_OBJECT(NSInvocation, NSObject)
    static Ref<NSInvocation> invocationWithMethodSignature(NSMethodSignature* sig);
    Ref<NSMethodSignature> methodSignature() { return signature_; }
    void setTarget(NSObject* target) { target_ = target; }
    Ref<NSObject> target() { return target_; }
    void setSelector(SEL sel) { sel_ = sel; }
    SEL selector() { return sel_; }
    // Arguments are numbered as in the signature: 0 is the target, 1 the selector.
    void setArgument(const Value& v, NSInteger index);
    Value getArgument(NSInteger index);
    void retainArguments() {}  // arguments are always held
    void invoke();
    void invokeWithTarget(NSObject* target);
    const Value& returnValue() const { return result_; }

private:
    Ref<NSMethodSignature> signature_;
    Ref<NSObject> target_;
    SEL sel_ = nullptr;
    std::vector<Value> args_;
    Value result_;
};

// Invokes a method by selector on an object (or, for a class object, a class method), with the
// arguments converted to the method's types. Raises NSInvalidArgumentException ("unrecognized
// selector") when there is no such method or it cannot be called by name.
Value invokeMethod(NSObject* target, SEL sel, std::span<const Value> args);

// ---- template implementations -------------------------------------------------------------

template <class T>
Value Value::of(const T& v) {
    using U = std::remove_cvref_t<T>;
    if constexpr (std::is_same_v<U, bool>)
        return ofBool(v);
    else if constexpr (std::is_enum_v<U>)
        return ofSigned(static_cast<long long>(v), typeCodeOf<U>()[0]);
    else if constexpr (std::is_integral_v<U> && std::is_signed_v<U>)
        return ofSigned(v, typeCodeOf<U>()[0]);
    else if constexpr (std::is_integral_v<U>)
        return ofUnsigned(v, typeCodeOf<U>()[0]);
    else if constexpr (std::is_floating_point_v<U>)
        return ofDouble(v, typeCodeOf<U>()[0]);
    else if constexpr (std::is_same_v<U, SEL>)
        return ofSelector(v);
    else if constexpr (std::is_same_v<U, Class>)
        return ofClass(v);
    else if constexpr (std::is_same_v<U, std::nullptr_t>)
        return ofObject(nullptr);
    else if constexpr (std::is_same_v<U, const char*> || std::is_same_v<U, char*>)
        return ofPointer(v, "*");
    else if constexpr (objc_detail::IsRef<U>::value)
        return ofObject(v.object());
    else if constexpr (std::is_pointer_v<U> && std::is_polymorphic_v<std::remove_pointer_t<U>>)
        return ofObject(v ? objc_detail::objectOf(v) : nullptr);
    else if constexpr (std::is_pointer_v<U>)
        return ofPointer(v);
    else
        return ofStruct(&v, sizeof(U), typeCodeOf<U>());
}

template <class T>
T Value::to() const {
    using U = std::remove_cvref_t<T>;
    if constexpr (std::is_same_v<U, bool>)
        return toBool();
    else if constexpr (std::is_enum_v<U>)
        return static_cast<U>(toLongLong());
    else if constexpr (std::is_integral_v<U> && std::is_signed_v<U>)
        return static_cast<U>(toLongLong());
    else if constexpr (std::is_integral_v<U>)
        return static_cast<U>(toUnsignedLongLong());
    else if constexpr (std::is_floating_point_v<U>)
        return static_cast<U>(toDouble());
    else if constexpr (std::is_same_v<U, SEL>)
        return sel_;
    else if constexpr (std::is_same_v<U, Class>)
        return dynamic_cast<Class>(obj_.get());
    else if constexpr (std::is_same_v<U, const char*>)
        return static_cast<const char*>(ptr_);
    else if constexpr (objc_detail::IsRef<U>::value)
        return U(dynamic_cast<typename objc_detail::IsRef<U>::type*>(obj_.get()));
    else if constexpr (std::is_pointer_v<U> && std::is_polymorphic_v<std::remove_pointer_t<U>>)
        return dynamic_cast<U>(obj_.get());
    else if constexpr (std::is_pointer_v<U>)
        return static_cast<U>(const_cast<void*>(ptr_));
    else {
        U out{};
        getStruct(&out, sizeof(U));
        return out;
    }
}

namespace objc_detail {
[[noreturn]] void raiseBadReceiver(NSObject* self, SEL sel);
// The code a pointer to a member function of `type` names (see Method::code).
const void* memberFunctionCode(const void* pointer, size_t size, const std::type_info& type);
template <class F>
const void* codeOf(F fn, const std::type_info& type) {
    return memberFunctionCode(&fn, sizeof fn, type);
}

template <class R, class... A, class F, size_t... I>
Value callWith(F&& f, std::span<const Value> args, std::index_sequence<I...>) {
    if constexpr (std::is_void_v<R>) {
        f(args[I].template to<A>()...);
        return Value();
    } else {
        return Value::of(f(args[I].template to<A>()...));
    }
}
template <class... A>
std::string argCodes() {
    return (std::string() + ... + typeCodeOf<A>());
}
}  // namespace objc_detail

template <class C, class R, class... A>
RuntimeClass& RuntimeClass::method(std::string_view sel, R (C::*fn)(A...)) {
    SEL s = Selector::named(sel);
    addMethod(Method{s, typeCodeOf<R>() + "@:" + objc_detail::argCodes<A...>(),
                     [fn, s](NSObject* self, std::span<const Value> args) -> Value {
                         C* obj = dynamic_cast<C*>(self);
                         if (!obj) objc_detail::raiseBadReceiver(self, s);
                         auto call = [obj, fn](A... a) -> R { return (obj->*fn)(a...); };
                         return objc_detail::callWith<R, A...>(call, args,
                                                               std::index_sequence_for<A...>{});
                     },
                     objc_detail::codeOf(fn, typeid(C))});
    return *this;
}

template <class C, class... A>
RuntimeClass& RuntimeClass::initializer(std::string_view sel, bool (C::*fn)(A...)) {
    SEL s = Selector::named(sel);
    addMethod(Method{s, "@@:" + objc_detail::argCodes<A...>(),
                     [fn, s](NSObject* self, std::span<const Value> args) -> Value {
                         C* obj = dynamic_cast<C*>(self);
                         if (!obj) objc_detail::raiseBadReceiver(self, s);
                         auto call = [obj, fn](A... a) -> bool { return (obj->*fn)(a...); };
                         Value ok = objc_detail::callWith<bool, A...>(
                             call, args, std::index_sequence_for<A...>{});
                         return Value::ofObject(ok.toBool() ? self : nullptr);
                     },
                     objc_detail::codeOf(fn, typeid(C))});
    return *this;
}

template <class R, class... A>
RuntimeClass& RuntimeClass::classMethod(std::string_view sel, R (*fn)(A...)) {
    addClassMethod(
        Method{Selector::named(sel), typeCodeOf<R>() + "#:" + objc_detail::argCodes<A...>(),
               [fn](NSObject*, std::span<const Value> args) -> Value {
                   return objc_detail::callWith<R, A...>(fn, args, std::index_sequence_for<A...>{});
               },
               reinterpret_cast<const void*>(fn)});
    return *this;
}

template <class G>
std::string RuntimeClass::propertyAttributes(bool readOnly) {
    std::string a = "T" + typeCodeOf<G>();
    using U = std::remove_cvref_t<G>;
    if constexpr (objc_detail::IsRef<U>::value) {
        using E = typename objc_detail::IsRef<U>::type;
        if constexpr (std::is_base_of_v<NSObject, E>) a += "\"" + E::staticClass()->name() + "\"";
        a += ",&";
    } else if constexpr (std::is_pointer_v<U> && std::is_polymorphic_v<std::remove_pointer_t<U>>) {
        a += ",&";
    }
    a += ",N";
    if (readOnly) a += ",R";
    return a;
}

template <class C, class G>
RuntimeClass& RuntimeClass::property(std::string_view name, G (C::*getter)()) {
    method(name, getter);
    addProperty(
        Property{std::string(name), propertyAttributes<G>(true), Selector::named(name), nullptr});
    return *this;
}

template <class C, class G, class S>
RuntimeClass& RuntimeClass::property(std::string_view name, G (C::*getter)(),
                                     void (C::*setter)(S)) {
    std::string setName = "set" + std::string(name) + ":";
    setName[3] = static_cast<char>(std::toupper(static_cast<unsigned char>(setName[3])));
    method(name, getter);
    method(setName, setter);
    addProperty(Property{std::string(name), propertyAttributes<G>(false), Selector::named(name),
                         Selector::named(setName)});
    return *this;
}
