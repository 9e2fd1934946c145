// Objects to JSON text: dictionaries with string keys, arrays, strings, numbers (those made from
// a boolean or a char as true and false), the null object, and any object that answers
// "proxyForJson" (registered by name) as the value it returns. Output is compact by default;
// `humanReadable` puts each member and element on its own line, `sortKeys` orders keys with
// compare:. An instance serves one call at a time on one thread.
#pragma once

#include <string>

#include "ads/pjson/PJsonBase.h"

class NSArray;
class NSDictionary;
class NSString;

// What a JSON writer answers.
class PJsonWriterProtocol {
public:
    virtual ~PJsonWriterProtocol() = default;
    virtual bool humanReadable() = 0;
    virtual void setHumanReadable(bool humanReadable) = 0;
    virtual bool sortKeys() = 0;
    virtual void setSortKeys(bool sortKeys) = 0;
    virtual Ref<NSString> stringWithObject(NSObject* value) = 0;
};

class PJsonWriter : public PJsonBase, public PJsonWriterProtocol {
    NS_OBJECT(PJsonWriter, PJsonBase)

    bool humanReadable() override { return humanReadable_; }
    void setHumanReadable(bool humanReadable) override { humanReadable_ = humanReadable; }
    bool sortKeys() override { return sortKeys_; }
    void setSortKeys(bool sortKeys) override { sortKeys_ = sortKeys; }

    // A dictionary or an array (or an object whose JSON proxy writes); anything else fails with
    // code 4.
    Ref<NSString> stringWithObject(NSObject* value) override;
    // Any value the writer accepts, scalars included.
    Ref<NSString> stringWithFragment(NSObject* value);

protected:
    // A value of none of the JSON kinds: its proxy's value, else code 1.
    virtual bool appendOther(NSObject* value, std::u16string& into);
    bool appendValue(NSObject* value, std::u16string& into);
    void appendString(NSString* value, std::u16string& into);

private:
    bool appendDictionary(NSDictionary* value, std::u16string& into);
    bool appendArray(NSArray* value, std::u16string& into);
    void indent(std::u16string& into);

    bool humanReadable_ = false;
    bool sortKeys_ = false;
};
