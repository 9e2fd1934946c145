#include "Foundation/Runtime.h"

#include <cxxabi.h>
#include <dlfcn.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "Foundation/NSArray.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSValue.h"

// ---- selectors -------------------------------------------------------------------------------

namespace {
struct Registry {
    std::mutex lock;
    std::unordered_map<std::string, std::unique_ptr<Selector>> selectors;
    std::unordered_map<std::string, Class> classes;
    std::unordered_set<std::string> hidden;
};
Registry& registry() {
    static Registry* r = new Registry();  // never destroyed: classes outlive every object
    return *r;
}
}  // namespace

SEL Selector::named(std::string_view name) {
    Registry& r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    auto it = r.selectors.find(std::string(name));
    if (it != r.selectors.end()) return it->second.get();
    auto sel = std::make_unique<Selector>();
    sel->name = std::string(name);
    for (char ch : name)
        sel->keywordCount += ch == ':';
    SEL out = sel.get();
    r.selectors.emplace(sel->name, std::move(sel));
    return out;
}

SEL NSSelectorFromString(NSString* name) {
    if (!name) return nullptr;
    return Selector::named(name->utf8());
}

Ref<NSString> NSStringFromSelector(SEL sel) {
    return sel ? NSString::fromUTF8(sel->name) : nullptr;
}

Class classNamed(std::string_view name) {
    Registry& r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    std::string key(name);
    if (r.hidden.count(key)) return nullptr;
    auto it = r.classes.find(key);
    return it == r.classes.end() ? nullptr : it->second;
}

void setClassNameHidden(std::string_view name, bool hidden) {
    Registry& r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    if (hidden)
        r.hidden.insert(std::string(name));
    else
        r.hidden.erase(std::string(name));
}

Class NSClassFromString(NSString* name) {
    return name ? classNamed(name->utf8()) : nullptr;
}

std::vector<Class> registeredClasses() {
    Registry& r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    std::vector<Class> out;
    out.reserve(r.classes.size());
    for (auto& [name, cls] : r.classes)
        out.push_back(cls);
    return out;
}

const void* objc_detail::memberFunctionCode(const void* pointer, size_t size,
                                            const std::type_info& type) {
    // The Itanium C++ ABI's pointer to member function: a code pointer, or for a virtual
    // function its offset into the virtual table (marked by the low bit of the pointer, or on
    // ARM of the adjustment), then the adjustment of `this`.
    struct Representation {
        uintptr_t ptr;
        ptrdiff_t adj;
    };
    if (size != sizeof(Representation)) return nullptr;
    Representation r;
    std::memcpy(&r, pointer, sizeof r);
#if defined(__arm__) || defined(__aarch64__)
    const bool isVirtual = r.adj & 1;
    const uintptr_t offset = r.ptr;
#else
    const bool isVirtual = r.ptr & 1;
    const uintptr_t offset = r.ptr - 1;
#endif
    if (!isVirtual) return reinterpret_cast<const void*>(r.ptr);
    // The class's own virtual table, by its exported symbol; its entries start after the
    // offset to the top and the type information.
    std::string symbol = std::string("_ZTV") + type.name();
    auto* table = static_cast<const char*>(dlsym(RTLD_DEFAULT, symbol.c_str()));
    if (!table) return nullptr;
    const void* code = nullptr;
    std::memcpy(&code, table + 2 * sizeof(void*) + offset, sizeof code);
    return code;
}

Ref<NSString> NSStringFromClass(Class cls) {
    return cls ? NSString::fromUTF8(cls->name()) : nullptr;
}

// ---- class objects ---------------------------------------------------------------------------

Class objc_detail::makeClassObject(const char* name, Class super, const std::type_info& type,
                                   AllocFn alloc, DescribeFn describe) {
    auto* cls = new RuntimeClass(name, super, type, alloc);
    cls->makeImmortal();
    if (describe) describe(*cls);
    Registry& r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    r.classes.emplace(cls->name(), cls);  // the first class of a name keeps it
    return cls;
}

RuntimeClass::RuntimeClass(std::string name, Class superclass, const std::type_info& type,
                           objc_detail::AllocFn alloc)
    : name_(std::move(name)), super_(superclass), type_(&type), alloc_(alloc) {}

Class RuntimeClass::getClass() {
    static Class meta = objc_detail::makeClassObject("Class", NSObject::staticClass(),
                                                     typeid(RuntimeClass), nullptr, nullptr);
    return meta;
}

Ref<NSString> RuntimeClass::description() {
    return NSString::fromUTF8(name_);
}

bool RuntimeClass::isSubclassOfClass(Class other) {
    for (Class c = this; c; c = c->super_) {
        if (c == other) return true;
    }
    return false;
}

Ref<NSObject> RuntimeClass::createInstance() {
    return alloc_ ? alloc_() : nullptr;
}

void RuntimeClass::addMethod(Method m) {
    for (auto& existing : methods_) {
        if (existing.selector == m.selector) {
            existing = std::move(m);
            return;
        }
    }
    methods_.push_back(std::move(m));
}

void RuntimeClass::addClassMethod(Method m) {
    for (auto& existing : classMethods_) {
        if (existing.selector == m.selector) {
            existing = std::move(m);
            return;
        }
    }
    classMethods_.push_back(std::move(m));
}

const Method* RuntimeClass::instanceMethod(SEL sel) {
    for (Class c = this; c; c = c->super_) {
        for (const Method& m : c->methods_) {
            if (m.selector == sel) return &m;
        }
    }
    return nullptr;
}

const Method* RuntimeClass::classMethod(SEL sel) {
    for (Class c = this; c; c = c->super_) {
        for (const Method& m : c->classMethods_) {
            if (m.selector == sel) return &m;
        }
    }
    return nullptr;
}

void RuntimeClass::addProperty(Property p) {
    for (auto& existing : properties_) {
        if (existing.name == p.name) {
            existing = std::move(p);
            return;
        }
    }
    properties_.push_back(std::move(p));
}

const Property* RuntimeClass::property(std::string_view name) {
    for (Class c = this; c; c = c->super_) {
        for (const Property& p : c->properties_) {
            if (p.name == name) return &p;
        }
    }
    return nullptr;
}

RuntimeClass& RuntimeClass::implements(std::initializer_list<std::string_view> selectors) {
    for (std::string_view s : selectors) {
        SEL sel = Selector::named(s);
        std::string types = "v@:";
        for (unsigned i = 0; i < sel->keywordCount; ++i)
            types += "@";
        addMethod(Method{sel, types, nullptr});
    }
    return *this;
}

// ---- type codes ------------------------------------------------------------------------------

std::vector<std::string> splitTypeCodes(std::string_view types) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < types.size()) {
        size_t start = i;
        // Qualifiers (const, in, out, ...) belong to the element that follows them.
        while (i < types.size() && std::strchr("rnNoORV", types[i]))
            ++i;
        while (i < types.size() && types[i] == '^')
            ++i;
        if (i >= types.size()) break;
        char open = types[i];
        if (open == '{' || open == '(' || open == '[') {
            char close = open == '{' ? '}' : open == '(' ? ')' : ']';
            int depth = 0;
            do {
                if (types[i] == open) ++depth;
                if (types[i] == close) --depth;
                ++i;
            } while (i < types.size() && depth > 0);
        } else if (open == '@' && i + 1 < types.size() && types[i + 1] == '"') {
            i = types.find('"', i + 2);
            i = i == std::string_view::npos ? types.size() : i + 1;
        } else {
            ++i;
        }
        out.emplace_back(types.substr(start, i - start));
        while (i < types.size() && std::isdigit(static_cast<unsigned char>(types[i])))
            ++i;
    }
    return out;
}

size_t sizeOfTypeCode(std::string_view code) {
    if (code.empty()) return 0;
    switch (code[0]) {
        case 'v':
            return 0;
        case 'B':
        case 'c':
        case 'C':
            return 1;
        case 's':
        case 'S':
            return 2;
        case 'i':
        case 'I':
        case 'f':
            return 4;
        case 'l':
        case 'L':
            return 4;
        case 'q':
        case 'Q':
        case 'd':
            return 8;
        case '{': {
            // Sum of the members' sizes: the structs the runtime passes have no padding.
            size_t eq = code.find('=');
            if (eq == std::string_view::npos) return 0;
            size_t total = 0;
            for (const std::string& m : splitTypeCodes(code.substr(eq + 1, code.size() - eq - 2)))
                total += sizeOfTypeCode(m);
            return total;
        }
        default:
            return sizeof(void*);
    }
}

// ---- values ----------------------------------------------------------------------------------

Value Value::ofObject(NSObject* o) {
    Value v;
    v.type_ = "@";
    v.obj_ = o;
    return v;
}

Value Value::ofClass(Class c) {
    Value v;
    v.type_ = "#";
    v.obj_ = c;
    return v;
}

Value Value::ofSelector(SEL s) {
    Value v;
    v.type_ = ":";
    v.sel_ = s;
    return v;
}

Value Value::ofSigned(long long n, char code) {
    Value v;
    v.type_ = std::string(1, code);
    v.n_.i = n;
    return v;
}

Value Value::ofUnsigned(unsigned long long n, char code) {
    Value v;
    v.type_ = std::string(1, code);
    v.n_.u = n;
    return v;
}

Value Value::ofDouble(double d, char code) {
    Value v;
    v.type_ = std::string(1, code);
    v.n_.d = d;
    return v;
}

Value Value::ofBool(bool b) {
    Value v;
    v.type_ = "B";
    v.n_.i = b ? 1 : 0;
    return v;
}

Value Value::ofPointer(const void* p, const char* code) {
    Value v;
    v.type_ = code;
    v.ptr_ = p;
    return v;
}

Value Value::ofStruct(const void* bytes, size_t size, std::string_view code) {
    Value v;
    v.type_ = std::string(code);
    v.obj_ = NSValue::valueWithBytes(bytes, v.type_.c_str());
    (void)size;
    return v;
}

namespace {
bool isSignedCode(char c) {
    return c == 'c' || c == 's' || c == 'i' || c == 'l' || c == 'q';
}
bool isUnsignedCode(char c) {
    return c == 'B' || c == 'C' || c == 'S' || c == 'I' || c == 'L' || c == 'Q';
}
bool isFloatCode(char c) {
    return c == 'f' || c == 'd';
}
}  // namespace

bool Value::isNumeric() const {
    if (type_.size() != 1) return false;
    char c = type_[0];
    return isSignedCode(c) || isUnsignedCode(c) || isFloatCode(c);
}

long long Value::toLongLong() const {
    if (type_.size() == 1) {
        char c = type_[0];
        if (isSignedCode(c)) return n_.i;
        if (isUnsignedCode(c)) return static_cast<long long>(n_.u);
        if (isFloatCode(c)) return static_cast<long long>(n_.d);
    }
    if (auto* n = dynamic_cast<NSNumber*>(obj_.get())) return n->longLongValue();
    return 0;
}

unsigned long long Value::toUnsignedLongLong() const {
    if (type_.size() == 1) {
        char c = type_[0];
        if (isSignedCode(c)) return static_cast<unsigned long long>(n_.i);
        if (isUnsignedCode(c)) return n_.u;
        if (isFloatCode(c)) return static_cast<unsigned long long>(n_.d);
    }
    if (auto* n = dynamic_cast<NSNumber*>(obj_.get())) return n->unsignedLongLongValue();
    return 0;
}

double Value::toDouble() const {
    if (type_.size() == 1) {
        char c = type_[0];
        if (isSignedCode(c)) return static_cast<double>(n_.i);
        if (isUnsignedCode(c)) return static_cast<double>(n_.u);
        if (isFloatCode(c)) return n_.d;
    }
    if (auto* n = dynamic_cast<NSNumber*>(obj_.get())) return n->doubleValue();
    return 0;
}

bool Value::toBool() const {
    if (type_.size() == 1 && isFloatCode(type_[0])) return n_.d != 0;
    if (isNumeric()) return toLongLong() != 0;
    if (auto* n = dynamic_cast<NSNumber*>(obj_.get())) return n->boolValue();
    return false;
}

bool Value::getStruct(void* out, size_t size) const {
    auto* box = dynamic_cast<NSValue*>(obj_.get());
    if (!box || box->byteSize() != size) return false;
    box->getValue(out);
    return true;
}

Ref<NSObject> Value::boxed() const {
    if (type_ == "v") return nullptr;
    if (type_ == "@" || type_ == "#" || isStruct()) return obj_;
    if (type_ == ":") return sel_ ? Ref<NSObject>(NSString::fromUTF8(sel_->name)) : nullptr;
    if (type_.size() == 1) {
        switch (type_[0]) {
            case 'B':
                return NSNumber::numberWithBool(n_.i != 0);
            case 'c':
                return NSNumber::numberWithChar(static_cast<char>(n_.i));
            case 's':
                return NSNumber::numberWithShort(static_cast<short>(n_.i));
            case 'i':
            case 'l':
                return NSNumber::numberWithInt(static_cast<int>(n_.i));
            case 'q':
                return NSNumber::numberWithLongLong(n_.i);
            case 'C':
                return NSNumber::numberWithUnsignedChar(static_cast<unsigned char>(n_.u));
            case 'S':
                return NSNumber::numberWithUnsignedShort(static_cast<unsigned short>(n_.u));
            case 'I':
            case 'L':
                return NSNumber::numberWithUnsignedInt(static_cast<unsigned>(n_.u));
            case 'Q':
                return NSNumber::numberWithUnsignedLongLong(n_.u);
            case 'f':
                return NSNumber::numberWithFloat(static_cast<float>(n_.d));
            case 'd':
                return NSNumber::numberWithDouble(n_.d);
            default:
                break;
        }
    }
    return NSValue::valueWithPointer(ptr_);
}

Value Value::unbox(NSObject* o, std::string_view code) {
    if (code.empty() || code[0] == '@') return ofObject(o);
    char c = code[0];
    if (c == '#') return ofClass(dynamic_cast<Class>(o));
    if (c == ':') {
        auto* s = dynamic_cast<NSString*>(o);
        return ofSelector(s ? Selector::named(s->utf8()) : nullptr);
    }
    if (c == '{') {
        Value v;
        v.type_ = std::string(code);
        v.obj_ = o;
        return v;
    }
    auto* n = dynamic_cast<NSNumber*>(o);
    if (c == 'B') return ofBool(n && n->boolValue());
    if (isFloatCode(c)) return ofDouble(n ? n->doubleValue() : 0, c);
    if (isSignedCode(c)) return ofSigned(n ? n->longLongValue() : 0, c);
    if (isUnsignedCode(c)) return ofUnsigned(n ? n->unsignedLongLongValue() : 0, c);
    if (auto* box = dynamic_cast<NSValue*>(o)) return ofPointer(box->pointerValue());
    return ofPointer(nullptr);
}

// ---- methods ---------------------------------------------------------------------------------

unsigned Method::numberOfArguments() const {
    auto list = typeList();
    return list.empty() ? 0 : static_cast<unsigned>(list.size() - 1);
}

std::string Method::argumentType(unsigned index) const {
    auto list = typeList();
    return index + 1 < list.size() ? list[index + 1] : std::string();
}

std::string Method::returnType() const {
    auto list = typeList();
    return list.empty() ? std::string("v") : list[0];
}

void objc_detail::raiseBadReceiver(NSObject* self, SEL sel) {
    NSException::raise(
        NSInvalidArgumentException, NS("-[%@ %@]: unrecognized selector sent to instance %p"),
        self ? self->className() : nullptr, NSStringFromSelector(sel), static_cast<void*>(self));
}

namespace {
const Method* methodFor(NSObject* target, SEL sel) {
    if (!target || !sel) return nullptr;
    if (auto* cls = dynamic_cast<RuntimeClass*>(target)) return cls->classMethod(sel);
    return target->getClass()->instanceMethod(sel);
}
}  // namespace

Value invokeMethod(NSObject* target, SEL sel, std::span<const Value> args) {
    const Method* m = methodFor(target, sel);
    if (!m || !m->imp) objc_detail::raiseBadReceiver(target, sel);
    // Arguments are brought to the method's declared types (boxed numbers to scalars and back).
    std::vector<std::string> types = m->typeList();
    std::vector<Value> converted;
    converted.reserve(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& want = i + 3 < types.size() ? types[i + 3] : std::string("@");
        const Value& a = args[i];
        if (a.type() == want || (want == "@" && a.isObject())) {
            converted.push_back(a);
        } else if (want == "@" || want == "#") {
            converted.push_back(want == "@" ? Value::ofObject(a.boxed()) : a);
        } else if (a.isObject() || a.isStruct()) {
            converted.push_back(Value::unbox(a.object(), want));
        } else if (want.size() == 1 && isFloatCode(want[0])) {
            converted.push_back(Value::ofDouble(a.toDouble(), want[0]));
        } else if (want == "B") {
            converted.push_back(Value::ofBool(a.toBool()));
        } else if (want.size() == 1 && isUnsignedCode(want[0])) {
            converted.push_back(Value::ofUnsigned(a.toUnsignedLongLong(), want[0]));
        } else if (want.size() == 1 && isSignedCode(want[0])) {
            converted.push_back(Value::ofSigned(a.toLongLong(), want[0]));
        } else {
            converted.push_back(a);
        }
    }
    while (converted.size() + 3 < types.size())
        converted.emplace_back(Value::ofObject(nullptr));
    return m->imp(target, converted);
}

// ---- signatures and invocations --------------------------------------------------------------

Ref<NSMethodSignature> NSMethodSignature::signatureWithObjCTypes(const char* types) {
    if (!types) return nullptr;
    auto sig = make<NSMethodSignature>();
    sig->types_ = types;
    sig->list_ = splitTypeCodes(types);
    if (sig->list_.empty()) return nullptr;
    return sig;
}

NSUInteger NSMethodSignature::numberOfArguments() {
    return static_cast<NSUInteger>(list_.size() - 1);
}

std::string NSMethodSignature::getArgumentTypeAtIndex(NSUInteger index) {
    if (index + 1 >= list_.size()) {
        NSException::raise(NSInvalidArgumentException, NS("index (%u) out of bounds [0, %u]"),
                           index, numberOfArguments() ? numberOfArguments() - 1 : 0);
    }
    return list_[index + 1];
}

std::string NSMethodSignature::methodReturnType() {
    return list_[0];
}

NSUInteger NSMethodSignature::methodReturnLength() {
    return static_cast<NSUInteger>(sizeOfTypeCode(list_[0]));
}

Ref<NSInvocation> NSInvocation::invocationWithMethodSignature(NSMethodSignature* sig) {
    if (!sig) {
        NSException::raise(NSInvalidArgumentException,
                           NS("+[NSInvocation invocationWithMethodSignature:]: method signature "
                              "argument cannot be nil"));
    }
    auto inv = make<NSInvocation>();
    inv->signature_ = sig;
    inv->args_.resize(sig->numberOfArguments());
    return inv;
}

void NSInvocation::setArgument(const Value& v, NSInteger index) {
    if (index < 0 || static_cast<size_t>(index) >= args_.size()) {
        NSException::raise(NSInvalidArgumentException,
                           NS("-[NSInvocation setArgument:atIndex:]: "
                              "index (%d) out of bounds [-1, %u]"),
                           index, static_cast<NSUInteger>(args_.size() - 1));
    }
    if (index == 0)
        target_ = v.object();
    else if (index == 1)
        sel_ = v.selector();
    else
        args_[index] = v;
}

Value NSInvocation::getArgument(NSInteger index) {
    if (index == 0) return Value::ofObject(target_);
    if (index == 1) return Value::ofSelector(sel_);
    if (index < 0 || static_cast<size_t>(index) >= args_.size()) return Value();
    return args_[index];
}

void NSInvocation::invoke() {
    invokeWithTarget(target_);
}

void NSInvocation::invokeWithTarget(NSObject* target) {
    std::vector<Value> list(args_.begin() + std::min<size_t>(2, args_.size()), args_.end());
    result_ = invokeMethod(target, sel_, list);
}

// ---- NSObject's runtime queries --------------------------------------------------------------

bool NSObject::respondsToSelector(SEL sel) {
    return methodFor(this, sel) != nullptr;
}

Ref<NSMethodSignature> NSObject::methodSignatureForSelector(SEL sel) {
    const Method* m = methodFor(this, sel);
    return m ? NSMethodSignature::signatureWithObjCTypes(m->types.c_str()) : nullptr;
}

Ref<NSObject> NSObject::performSelector(SEL sel) {
    return invokeMethod(this, sel, {}).boxed();
}

Ref<NSObject> NSObject::performSelector(SEL sel, NSObject* arg) {
    Value a[] = {Value::ofObject(arg)};
    return invokeMethod(this, sel, a).boxed();
}

Ref<NSObject> NSObject::performSelector(SEL sel, NSObject* arg1, NSObject* arg2) {
    Value a[] = {Value::ofObject(arg1), Value::ofObject(arg2)};
    return invokeMethod(this, sel, a).boxed();
}

Ref<NSString> NSObject::className() {
    Class cls = getClass();
    if (cls->cppType() == typeid(*this)) return NSString::fromUTF8(cls->name());
    // A class that did not declare itself: its C++ name tells more than its base's.
    int status = 0;
    char* name = abi::__cxa_demangle(typeid(*this).name(), nullptr, nullptr, &status);
    Ref<NSString> out = NSString::fromUTF8(status == 0 && name ? name : cls->name().c_str());
    std::free(name);
    return out;
}

// ---- key-value coding ------------------------------------------------------------------------

namespace {
const Method* getterFor(NSObject* o, const std::string& key) {
    Class cls = o->getClass();
    if (const Property* p = cls->property(key)) {
        if (const Method* m = cls->instanceMethod(p->getter)) return m;
    }
    const Method* m = cls->instanceMethod(Selector::named(key));
    return m && m->numberOfArguments() == 2 ? m : nullptr;
}

const Method* setterFor(NSObject* o, const std::string& key) {
    Class cls = o->getClass();
    if (const Property* p = cls->property(key)) {
        if (!p->setter) return nullptr;
        return cls->instanceMethod(p->setter);
    }
    if (key.empty()) return nullptr;
    std::string name = "set" + key + ":";
    name[3] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[3])));
    return cls->instanceMethod(Selector::named(name));
}
}  // namespace

Ref<NSObject> NSObject::valueForKey(NSString* key) {
    std::string k = key ? key->utf8() : std::string();
    const Method* m = getterFor(this, k);
    if (!m || !m->imp) return valueForUndefinedKey(key);
    return m->imp(this, {}).boxed();
}

void NSObject::setValue(NSObject* value, NSString* key) {
    std::string k = key ? key->utf8() : std::string();
    const Method* m = setterFor(this, k);
    if (!m || !m->imp) {
        setValueForUndefinedKey(value, key);
        return;
    }
    std::string type = m->argumentType(2);
    if (!value && type != "@" && type != "#") {
        NSException::raise(NSInvalidArgumentException,
                           NS("[<%@ %p> setNilValueForKey]: could not set nil as the value for "
                              "the key %@."),
                           className(), static_cast<void*>(this), key);
    }
    Value arg[] = {Value::unbox(value, type)};
    m->imp(this, arg);
}

Ref<NSObject> NSObject::valueForKeyPath(NSString* keyPath) {
    Ref<NSObject> current(this);
    Ref<NSArray> parts = keyPath->componentsSeparatedByString(NS("."));
    for (NSUInteger i = 0; current && i < parts->count(); ++i) {
        current = current->valueForKey(as<NSString>(parts->objectAtIndex(i)));
    }
    return current;
}

Ref<NSObject> NSObject::valueForUndefinedKey(NSString* key) {
    NSException::raise(NSUndefinedKeyException,
                       NS("[<%@ %p> valueForUndefinedKey:]: this class is not key value "
                          "coding-compliant for the key %@."),
                       className(), static_cast<void*>(this), key);
}

void NSObject::setValueForUndefinedKey(NSObject*, NSString* key) {
    NSException::raise(NSUndefinedKeyException,
                       NS("[<%@ %p> setValue:forUndefinedKey:]: this class is not key value "
                          "coding-compliant for the key %@."),
                       className(), static_cast<void*>(this), key);
}
