// URL patterns: URL-shaped texts whose host, path components, query values and fragment are
// literals or wildcards ("(name)"). Navigator patterns match URLs and create or fetch the object
// behind them, passing the wildcards' values to a selector worked out from the wildcard names
// and the target's method table; generator patterns build a URL from an object by reading the
// properties the wildcards name. Main thread only.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "Foundation/NSObject.h"

class NSDictionary;
class NSInvocation;
class NSString;
class NSURL;
struct Method;

// A URL's parts as patterns match them, read once per URL.
struct DZURLMatchParts {
    bool hasScheme = false, hasHost = false, hasFragment = false;
    std::string scheme;
    std::string host;
    // The path components, the leading "/" first; empty for a URL without a path.
    std::vector<std::string> components;
    std::string fragment;
    static DZURLMatchParts of(NSURL* URL);
};

// The kind of an argument or property, as the patterns convert texts to it.
enum DZURLArgumentKind : int32_t {
    DZURLArgumentNone = 0,
    DZURLArgumentObject = 1,
    DZURLArgumentBool = 2,
    DZURLArgumentInt = 3,
    DZURLArgumentLongLong = 4,
    DZURLArgumentFloat = 5,
    DZURLArgumentDouble = 6,
};

// From the first character of a runtime type code.
int32_t DZArgKindForTypeCode(const char* code);
// From the second character of the attribute string of the class's property of that name;
// none when the class has no such property.
int32_t DZArgKindForProperty(Class cls, NSString* propertyName);

// The navigation modes of navigator patterns.
enum DZNavigationMode : int32_t {
    DZNavigationModeNone = 0,
    DZNavigationModeCreate = 1,
    DZNavigationModeShare = 2,
    DZNavigationModeModal = 3,
    DZNavigationModeExternal = 4,
};

// One component of a pattern.
class DZURLPatternText {
public:
    virtual ~DZURLPatternText() = default;
    virtual bool match(NSString* text) = 0;
    // The same for the text's UTF-8 bytes (the map's look-ups read a URL's parts once).
    virtual bool matchText(const std::string& text) = 0;
    virtual Ref<NSString> convertPropertyOfObject(NSObject* object) = 0;
};

class DZURLLiteral : public NSObject, public DZURLPatternText {
    NS_OBJECT(DZURLLiteral, NSObject)
    Ref<NSString> name() { return name_; }
    void setName(NSString* name);
    bool match(NSString* text) override;
    bool matchText(const std::string& text) override { return hasName_ && text == nameText_; }
    Ref<NSString> convertPropertyOfObject(NSObject* object) override;

private:
    Ref<NSString> name_;
    std::string nameText_;
    bool hasName_ = false;
};

// One link of a property path ("a.b" is two links).
class DZURLSelector : public NSObject {
    NS_OBJECT(DZURLSelector, NSObject)
    bool initWithName(NSString* name);
    Ref<NSString> name() { return name_; }
    SEL selector() { return selector_; }
    Ref<DZURLSelector> next() { return next_; }
    void setNext(DZURLSelector* next) { next_ = next; }
    // The property's value as URL text; a link with a next link hands its result on.
    Ref<NSString> perform(NSObject* object, int32_t returnType);

private:
    Ref<NSString> name_;
    SEL selector_ = nullptr;
    Ref<DZURLSelector> next_;
};

class DZURLWildcard : public NSObject, public DZURLPatternText {
    NS_OBJECT(DZURLWildcard, NSObject)
    Ref<NSString> name() { return name_; }
    void setName(NSString* name);
    int32_t argIndex() { return argIndex_; }
    void setArgIndex(int32_t index) { argIndex_ = index; }
    int32_t argType() { return argType_; }
    void setArgType(int32_t type) { argType_ = type; }
    Ref<DZURLSelector> selector() { return selector_; }
    void setSelector(DZURLSelector* selector) { selector_ = selector; }
    bool match(NSString*) override { return true; }
    bool matchText(const std::string&) override { return true; }
    Ref<NSString> convertPropertyOfObject(NSObject* object) override;
    void deduceSelectorForClass(Class cls);

private:
    Ref<NSString> name_;
    int32_t argIndex_ = 0x7FFFFFFF;
    int32_t argType_ = DZURLArgumentNone;
    Ref<DZURLSelector> selector_;
};

class DZURLPattern : public NSObject {
    NS_OBJECT(DZURLPattern, NSObject)
    Ref<NSString> URL() { return URL_; }
    void setURL(NSString* URL);
    Ref<NSString> scheme() { return scheme_; }
    int32_t specificity() { return specificity_; }
    SEL selector() { return selector_; }
    void setSelector(SEL selector) { selector_ = selector; }
    virtual Class classForInvocation() { return nullptr; }

    Ref<DZURLPatternText> parseText(NSString* text);
    void parsePathComponent(NSString* text);
    void parseParameter(NSString* name, NSString* value);
    void compileURL();
    void setSelectorIfPossible(SEL selector);
    void setSelectorWithNames(const std::vector<Ref<NSString>>& names);

    // The parts: the host's first, then the path components.
    const std::vector<Ref<DZURLPatternText>>& path() { return path_; }
    // Query parameter name → part, in the order of the pattern text.
    const std::vector<std::pair<Ref<NSString>, Ref<DZURLPatternText>>>& query() { return query_; }
    Ref<DZURLPatternText> queryPart(NSString* name);
    Ref<DZURLPatternText> fragment() { return fragment_; }

protected:
    Ref<NSString> URL_;
    Ref<NSString> scheme_;
    std::string schemeText_;
    std::vector<Ref<DZURLPatternText>> path_;
    std::vector<std::pair<Ref<NSString>, Ref<DZURLPatternText>>> query_;
    Ref<DZURLPatternText> fragment_;
    int32_t specificity_ = 0;
    SEL selector_ = nullptr;
};

class DZURLNavigatorPattern : public DZURLPattern {
    NS_OBJECT(DZURLNavigatorPattern, DZURLPattern)
    bool init() override { return initWithTarget(nullptr); }
    bool initWithTarget(NSObject* target) { return initWithTarget(target, DZNavigationModeNone); }
    bool initWithTarget(NSObject* target, int32_t mode);

    Class targetClass() { return targetClass_; }
    void setTargetClass(Class cls) { targetClass_ = cls; }
    Ref<NSObject> targetObject() { return targetObject_.lock(); }
    void setTargetObject(NSObject* object) { targetObject_ = object; }
    int32_t navigationMode() { return navigationMode_; }
    Ref<NSString> parentURL() { return parentURL_; }
    void setParentURL(NSString* URL);
    int32_t transition() { return transition_; }
    void setTransition(int32_t transition) { transition_ = transition; }
    int32_t argumentCount() { return argumentCount_; }
    bool isUniversal();
    bool isFragment();

    bool instantiatesClass();
    bool callsInstanceMethod();
    Class classForInvocation() override;

    void compile();
    void deduceSelector();
    void analyzeMethod();
    void analyzeArgument(DZURLPatternText* part, const Method* method,
                         const std::vector<std::string>& argNames);
    bool matchURL(NSURL* URL);
    bool matchParts(const DZURLMatchParts& parts);
    NSComparisonResult compareSpecificity(DZURLNavigatorPattern* other);
    Ref<NSObject> createObjectFromURL(NSURL* URL, NSDictionary* query);
    Ref<NSObject> invoke(NSObject* target, NSURL* URL, NSDictionary* query);
    void setArgumentsFromURL(NSURL* URL, NSInvocation* invocation, NSDictionary* query);
    bool setArgument(NSString* text, DZURLPatternText* part, NSInvocation* invocation);

private:
    Class targetClass_ = nullptr;
    // Not retained: the owner of a plain target keeps it.
    Weak<NSObject> targetObject_;
    int32_t navigationMode_ = DZNavigationModeNone;
    Ref<NSString> parentURL_;
    int32_t transition_ = 0;
    int32_t argumentCount_ = 0;
};

class DZURLGeneratorPattern : public DZURLPattern {
    NS_OBJECT(DZURLGeneratorPattern, DZURLPattern)
    bool init() override { return initWithTargetClass(nullptr); }
    bool initWithTargetClass(Class cls);
    Class targetClass() { return targetClass_; }
    Class classForInvocation() override { return targetClass_; }
    void compile();
    Ref<NSString> generateURLFromObject(NSObject* object);

private:
    Class targetClass_ = nullptr;
};
