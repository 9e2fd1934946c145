#include "ui/core/DZURLPattern.h"

#include <algorithm>

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/Runtime.h"
#include "ui/core/DZStringAdditions.h"

int32_t DZArgKindForTypeCode(const char* code) {
    switch (code && *code ? code[0] : '\0') {
        case 'B':
            return DZURLArgumentBool;
        case 'c':
        case 'i':
        case 'l':
        case 's':
        case 'C':
        case 'I':
        case 'L':
        case 'S':
            return DZURLArgumentInt;
        case 'q':
        case 'Q':
            return DZURLArgumentLongLong;
        case 'f':
            return DZURLArgumentFloat;
        case 'd':
            return DZURLArgumentDouble;
        default:
            return DZURLArgumentObject;
    }
}

int32_t DZArgKindForProperty(Class cls, NSString* propertyName) {
    if (!cls || !propertyName) return DZURLArgumentNone;
    const Property* p = cls->property(propertyName->utf8());
    if (!p || p->attributes.size() < 2) return DZURLArgumentNone;
    return DZArgKindForTypeCode(p->attributes.c_str() + 1);
}

// ---- parts ----------------------------------------------------------------------------------

void DZURLLiteral::setName(NSString* name) {
    name_ = name ? name->copy() : nullptr;
    hasName_ = name != nullptr;
    nameText_ = name ? name->utf8() : std::string();
}

bool DZURLLiteral::match(NSString* text) {
    return text && name_ && text->isEqualToString(name_);
}

Ref<NSString> DZURLLiteral::convertPropertyOfObject(NSObject*) {
    return name_;
}

bool DZURLSelector::initWithName(NSString* name) {
    name_ = name ? name->copy() : nullptr;
    selector_ = name ? Selector::named(name->utf8()) : nullptr;
    return true;
}

Ref<NSString> DZURLSelector::perform(NSObject* object, int32_t returnType) {
    // A missing property or an object that does not answer reads as nothing.
    if (!object || !selector_ || !object->respondsToSelector(selector_)) return NS("");
    if (next_) {
        Ref<NSObject> value = invokeMethod(object, selector_, {}).boxed();
        return next_->perform(value.get(), returnType);
    }
    if (returnType == DZURLArgumentNone)
        returnType = DZArgKindForProperty(object->getClass(), name_);
    Value value = invokeMethod(object, selector_, {});
    switch (returnType) {
        case DZURLArgumentNone:
            return NS("");
        case DZURLArgumentBool:
        case DZURLArgumentInt:
            return NSString::stringWithFormat(NS("%d"), static_cast<int>(value.toLongLong()));
        case DZURLArgumentLongLong:
            return NSString::stringWithFormat(NS("%lld"), value.toLongLong());
        case DZURLArgumentFloat:
        case DZURLArgumentDouble:
            return NSString::stringWithFormat(NS("%f"), value.toDouble());
        default:
            return NSString::stringWithFormat(NS("%@"), value.boxed().get());
    }
}

void DZURLWildcard::setName(NSString* name) {
    name_ = name ? name->copy() : nullptr;
}

Ref<NSString> DZURLWildcard::convertPropertyOfObject(NSObject* object) {
    if (!selector_) return NS("");
    return selector_->perform(object, argType_);
}

void DZURLWildcard::deduceSelectorForClass(Class cls) {
    if (!name_) return;
    if (name_->rangeOfString(NS(".")).location == NSNotFound) {
        argType_ = DZArgKindForProperty(cls, name_);
        selector_ = make<DZURLSelector>(&DZURLSelector::initWithName, name_.get());
        return;
    }
    Ref<DZURLSelector> previous;
    auto pieces = name_->componentsSeparatedByString(NS("."));
    for (NSUInteger i = 0; i < pieces->count(); ++i) {
        auto link = make<DZURLSelector>(&DZURLSelector::initWithName,
                                        cast<NSString>(pieces->objectAtIndex(i)).get());
        if (previous)
            previous->setNext(link);
        else
            selector_ = link;
        previous = link;
    }
}

// ---- the base pattern -----------------------------------------------------------------------

void DZURLPattern::setURL(NSString* URL) {
    URL_ = URL ? URL->copy() : nullptr;
}

Ref<DZURLPatternText> DZURLPattern::parseText(NSString* text) {
    NSUInteger length = text->length();
    if (length >= 2 && text->characterAtIndex(0) == '(' &&
        text->characterAtIndex(length - 1) == ')') {
        // "(name:)" names the same argument as "(name)".
        NSUInteger end = length - 1;
        if (length >= 4 && text->characterAtIndex(length - 2) == ':') end = length - 2;
        auto wildcard = make<DZURLWildcard>();
        if (end > 1) wildcard->setName(text->substringWithRange(NSMakeRange(1, end - 1)));
        specificity_ += 1;
        return wildcard;
    }
    auto literal = make<DZURLLiteral>();
    literal->setName(text);
    specificity_ += 2;
    return literal;
}

void DZURLPattern::parsePathComponent(NSString* text) {
    path_.push_back(parseText(text));
}

void DZURLPattern::parseParameter(NSString* name, NSString* value) {
    auto part = parseText(value);
    for (auto& entry : query_) {
        if (entry.first->isEqualToString(name)) {
            entry.second = part;
            return;
        }
    }
    query_.emplace_back(name->copy(), part);
}

Ref<DZURLPatternText> DZURLPattern::queryPart(NSString* name) {
    for (auto& entry : query_) {
        if (entry.first->isEqualToString(name)) return entry.second;
    }
    return nullptr;
}

void DZURLPattern::compileURL() {
    auto url = NSURL::URLWithString(URL_.get());
    if (!url) return;
    scheme_ = url->scheme();
    schemeText_ = scheme_ ? scheme_->utf8() : std::string();
    if (auto host = url->host()) {
        parsePathComponent(host);
        auto path = url->path();
        if (path && path->length()) {
            auto components = url->pathComponents();
            for (NSUInteger i = 0; i < components->count(); ++i) {
                auto component = cast<NSString>(components->objectAtIndex(i));
                if (!component->isEqualToString(NS("/"))) parsePathComponent(component);
            }
        }
    }
    if (auto query = url->query()) {
        auto parameters = queryDictionaryUsingEncoding(query, NSUTF8StringEncoding);
        auto allKeysList = parameters->allKeys();
        for (auto key : *allKeysList) {
            auto name = as<NSString>(key);
            parseParameter(name, cast<NSString>(parameters->objectForKey(name)));
        }
    }
    if (auto fragment = url->fragment()) fragment_ = parseText(fragment);
}

void DZURLPattern::setSelectorIfPossible(SEL selector) {
    Class cls = classForInvocation();
    if (!cls || cls->instancesRespondToSelector(selector) || cls->respondsToSelector(selector))
        selector_ = selector;
}

void DZURLPattern::setSelectorWithNames(const std::vector<Ref<NSString>>& names) {
    std::string name;
    for (auto& n : names)
        name += n->utf8() + ":";
    setSelectorIfPossible(Selector::named(name));
}

// ---- navigator patterns ---------------------------------------------------------------------

bool DZURLNavigatorPattern::initWithTarget(NSObject* target, int32_t mode) {
    navigationMode_ = mode;
    auto* cls = dynamic_cast<RuntimeClass*>(target);
    if (cls && mode != DZNavigationModeNone)
        targetClass_ = cls;
    else
        targetObject_ = target;
    return true;
}

void DZURLNavigatorPattern::setParentURL(NSString* URL) {
    parentURL_ = URL ? URL->copy() : nullptr;
}

bool DZURLNavigatorPattern::isUniversal() {
    return URL_ && URL_->isEqualToString(NS("*"));
}

bool DZURLNavigatorPattern::isFragment() {
    return URL_ && URL_->rangeOfString(NS("#")).location != NSNotFound;
}

bool DZURLNavigatorPattern::instantiatesClass() {
    return targetClass_ && navigationMode_ != DZNavigationModeNone;
}

bool DZURLNavigatorPattern::callsInstanceMethod() {
    auto target = targetObject_.lock();
    return (target && !dynamic_cast<RuntimeClass*>(target.get())) || targetClass_;
}

Class DZURLNavigatorPattern::classForInvocation() {
    if (targetClass_) return targetClass_;
    auto target = targetObject_.lock();
    if (!target) return nullptr;
    if (auto* cls = dynamic_cast<RuntimeClass*>(target.get())) return cls;
    return target->getClass();
}

void DZURLNavigatorPattern::compile() {
    if (isUniversal()) {
        if (!selector_) deduceSelector();
        return;
    }
    compileURL();
    if (!selector_) deduceSelector();
    if (selector_) analyzeMethod();
}

void DZURLNavigatorPattern::deduceSelector() {
    std::vector<Ref<NSString>> names;
    auto collect = [&names](DZURLPatternText* part) {
        if (auto* wildcard = dynamic_cast<DZURLWildcard*>(part); wildcard && wildcard->name())
            names.push_back(wildcard->name());
    };
    for (auto& part : path_)
        collect(part.get());
    for (auto& entry : query_)
        collect(entry.second.get());
    if (fragment_) collect(fragment_.get());
    if (names.empty()) {
        setSelectorIfPossible(Selector::named("initWithNavigatorURL:query:"));
        return;
    }
    setSelectorWithNames(names);
    if (!selector_) {
        names.push_back(NS("query"));
        setSelectorWithNames(names);
    }
}

void DZURLNavigatorPattern::analyzeMethod() {
    Class cls = classForInvocation();
    if (!cls) return;
    const Method* method =
        callsInstanceMethod() ? cls->instanceMethod(selector_) : cls->classMethod(selector_);
    if (!method) return;
    argumentCount_ = static_cast<int32_t>(method->numberOfArguments()) - 2;
    std::vector<std::string> argNames;
    const std::string& name = selector_->name;
    size_t start = 0;
    for (size_t colon; (colon = name.find(':', start)) != std::string::npos; start = colon + 1)
        argNames.push_back(name.substr(start, colon - start));
    if (start < name.size()) argNames.push_back(name.substr(start));
    for (auto& part : path_)
        analyzeArgument(part.get(), method, argNames);
    for (auto& entry : query_)
        analyzeArgument(entry.second.get(), method, argNames);
    if (fragment_) analyzeArgument(fragment_.get(), method, argNames);
}

void DZURLNavigatorPattern::analyzeArgument(DZURLPatternText* part, const Method* method,
                                            const std::vector<std::string>& argNames) {
    auto* wildcard = dynamic_cast<DZURLWildcard*>(part);
    if (!wildcard) return;
    std::string name = wildcard->name() ? wildcard->name()->utf8() : std::string();
    auto found = std::find(argNames.begin(), argNames.end(), name);
    if (!wildcard->name() || found == argNames.end()) {
        wildcard->setArgIndex(0x7FFFFFFF);
        return;
    }
    int32_t index = static_cast<int32_t>(found - argNames.begin());
    wildcard->setArgIndex(index);
    std::string type = method->argumentType(static_cast<unsigned>(index) + 2);
    wildcard->setArgType(DZArgKindForTypeCode(type.c_str()));
}

DZURLMatchParts DZURLMatchParts::of(NSURL* URL) {
    DZURLMatchParts parts;
    if (!URL) return parts;
    if (auto scheme = URL->scheme()) {
        parts.hasScheme = true;
        parts.scheme = scheme->utf8();
    }
    if (auto host = URL->host()) {
        parts.hasHost = true;
        parts.host = host->utf8();
    }
    auto path = URL->path();
    if (path && path->length()) {
        auto components = URL->pathComponents();
        for (NSUInteger i = 0; i < components->count(); ++i)
            parts.components.push_back(as<NSString>(components->objectAtIndex(i))->utf8());
    }
    if (auto fragment = URL->fragment()) {
        parts.hasFragment = true;
        parts.fragment = fragment->utf8();
    }
    return parts;
}

bool DZURLNavigatorPattern::matchURL(NSURL* URL) {
    return URL && matchParts(DZURLMatchParts::of(URL));
}

bool DZURLNavigatorPattern::matchParts(const DZURLMatchParts& parts) {
    if (!parts.hasScheme || !parts.hasHost || !scheme_ || parts.scheme != schemeText_) return false;
    // The leading "/" component takes the host's place in the count.
    size_t count = parts.components.empty() ? 1 : parts.components.size();
    if (count != path_.size()) return false;
    if (!path_[0]->matchText(parts.host)) return false;
    for (size_t i = 1; i < count; ++i) {
        if (!path_[i]->matchText(parts.components[i])) return false;
    }
    if (!parts.hasFragment && !fragment_) return true;
    if (!parts.hasFragment || !fragment_) return false;
    return fragment_->matchText(parts.fragment);
}

NSComparisonResult DZURLNavigatorPattern::compareSpecificity(DZURLNavigatorPattern* other) {
    if (specificity_ > other->specificity_) return NSOrderedAscending;
    if (specificity_ < other->specificity_) return NSOrderedDescending;
    return NSOrderedSame;
}

Ref<NSObject> DZURLNavigatorPattern::createObjectFromURL(NSURL* URL, NSDictionary* query) {
    Ref<NSObject> target =
        instantiatesClass() ? targetClass_->createInstance() : targetObject_.lock();
    if (!target) return nullptr;
    Ref<NSObject> result;
    if (!selector_) {
        if (instantiatesClass() && target->init()) result = target;
    } else {
        result = invoke(target.get(), URL, query);
    }
    return result;
}

Ref<NSObject> DZURLNavigatorPattern::invoke(NSObject* target, NSURL* URL, NSDictionary* query) {
    auto signature = target->methodSignatureForSelector(selector_);
    if (!signature) return nullptr;
    auto invocation = NSInvocation::invocationWithMethodSignature(signature.get());
    invocation->setTarget(target);
    invocation->setSelector(selector_);
    if (isUniversal()) {
        if (signature->numberOfArguments() > 2) invocation->setArgument(Value::ofObject(URL), 2);
        if (query && signature->numberOfArguments() > 3)
            invocation->setArgument(Value::ofObject(query), 3);
    } else {
        setArgumentsFromURL(URL, invocation.get(), query);
    }
    invocation->invoke();
    // Only an object result is handed back.
    const Value& result = invocation->returnValue();
    return result.isObject() ? Ref<NSObject>(result.object()) : nullptr;
}

void DZURLNavigatorPattern::setArgumentsFromURL(NSURL* URL, NSInvocation* invocation,
                                                NSDictionary* query) {
    int32_t remaining = argumentCount_;
    Ref<NSMutableDictionary> unmatched = query ? query->mutableCopy() : nullptr;
    auto components = URL->pathComponents();
    for (size_t i = 0; i < path_.size(); ++i) {
        Ref<NSString> value;
        if (i == 0)
            value = URL->host();
        else if (components && i < components->count())
            value = cast<NSString>(components->objectAtIndex(static_cast<NSUInteger>(i)));
        if (value && setArgument(value, path_[i].get(), invocation)) --remaining;
    }
    if (auto urlQuery = URL->query()) {
        auto parameters = queryDictionaryUsingEncoding(urlQuery, NSUTF8StringEncoding);
        auto allKeysList = parameters->allKeys();
        for (auto key : *allKeysList) {
            auto name = as<NSString>(key);
            auto value = parameters->objectForKey(name);
            if (auto part = queryPart(name)) {
                if (setArgument(cast<NSString>(value), part.get(), invocation)) --remaining;
            } else {
                if (!unmatched) unmatched = NSMutableDictionary::dictionary();
                unmatched->setObject(value, name);
            }
        }
    }
    if (remaining != 0 && unmatched && unmatched->count() > 0) {
        // The merged query goes only where an object is expected.
        auto signature = invocation->methodSignature();
        NSUInteger last = static_cast<NSUInteger>(argumentCount_) + 1;
        if (argumentCount_ > 0 && last < signature->numberOfArguments() &&
            signature->getArgumentTypeAtIndex(last) == "@")
            invocation->setArgument(Value::ofObject(unmatched), static_cast<NSInteger>(last));
    }
    auto fragment = URL->fragment();
    if (fragment && fragment_) setArgument(fragment, fragment_.get(), invocation);
}

bool DZURLNavigatorPattern::setArgument(NSString* text, DZURLPatternText* part,
                                        NSInvocation* invocation) {
    auto* wildcard = dynamic_cast<DZURLWildcard*>(part);
    if (!wildcard || wildcard->argIndex() == 0x7FFFFFFF || wildcard->argIndex() >= argumentCount_)
        return false;
    Value value;
    switch (wildcard->argType()) {
        case DZURLArgumentNone:
            return true;
        case DZURLArgumentBool:
            value = Value::ofBool(text->boolValue());
            break;
        case DZURLArgumentInt:
            value = Value::ofSigned(text->intValue(), 'i');
            break;
        case DZURLArgumentLongLong:
            value = Value::ofSigned(text->longLongValue(), 'q');
            break;
        case DZURLArgumentFloat:
            value = Value::ofDouble(text->floatValue(), 'f');
            break;
        case DZURLArgumentDouble:
            value = Value::ofDouble(text->doubleValue(), 'd');
            break;
        default:
            value = Value::ofObject(text);
            break;
    }
    invocation->setArgument(value, wildcard->argIndex() + 2);
    return true;
}

// ---- generator patterns ---------------------------------------------------------------------

bool DZURLGeneratorPattern::initWithTargetClass(Class cls) {
    targetClass_ = cls;
    return true;
}

void DZURLGeneratorPattern::compile() {
    compileURL();
    auto deduce = [this](DZURLPatternText* part) {
        if (auto* wildcard = dynamic_cast<DZURLWildcard*>(part))
            wildcard->deduceSelectorForClass(targetClass_);
    };
    for (auto& part : path_)
        deduce(part.get());
    for (auto& entry : query_)
        deduce(entry.second.get());
}

Ref<NSString> DZURLGeneratorPattern::generateURLFromObject(NSObject* object) {
    auto parts = NSMutableArray::array();
    parts->addObject(NSString::stringWithFormat(NS("%@:/"), scheme_.get()));
    for (auto& part : path_)
        parts->addObject(part->convertPropertyOfObject(object));
    auto text = parts->componentsJoinedByString(NS("/"));
    if (query_.empty()) return text;
    auto pairs = NSMutableArray::array();
    for (auto& entry : query_) {
        pairs->addObject(NSString::stringWithFormat(
            NS("%@=%@"), entry.first.get(), entry.second->convertPropertyOfObject(object).get()));
    }
    return NSString::stringWithFormat(NS("%@?%@"), text.get(),
                                      pairs->componentsJoinedByString(NS("&")).get());
}
