#include "CoreData/NSPredicate.h"

#include <cctype>
#include <cstdlib>

#include "Foundation/NSArray.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"

namespace {

// One token of a format: punctuation, a word, a quoted string, a number or a bound argument.
struct Token {
    enum Kind { End, LParen, RParen, Equal, NotEqual, And, Word, String, Number, Arg, KeyArg };
    Kind kind = End;
    std::string text;
    Ref<NSObject> value;  // Arg and KeyArg (nil argument stays nil)
};

class Parser {
public:
    Parser(NSString* format, std::vector<Ref<NSObject>> args)
        : format_(format), text_(format ? format->utf8() : std::string()), args_(std::move(args)) {}

    void parse(std::vector<NSPredicate::Comparison>& terms, bool& never) {
        advance();
        expression(terms, never);
        if (tok_.kind != Token::End) fail();
    }

private:
    [[noreturn]] void fail() {
        NSException::raise(NSInvalidArgumentException,
                           NS("Unable to parse the format string \"%@\""), format_);
    }

    Ref<NSObject> nextArg() {
        if (argIndex_ >= args_.size()) fail();
        return args_[argIndex_++];
    }

    void advance() {
        tok_ = Token();
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_])))
            ++pos_;
        if (pos_ >= text_.size()) return;
        char c = text_[pos_];
        auto two = [&](const char* s) { return text_.compare(pos_, 2, s) == 0; };
        if (c == '(') {
            tok_.kind = Token::LParen;
            ++pos_;
        } else if (c == ')') {
            tok_.kind = Token::RParen;
            ++pos_;
        } else if (two("==")) {
            tok_.kind = Token::Equal;
            pos_ += 2;
        } else if (two("!=") || two("<>")) {
            tok_.kind = Token::NotEqual;
            pos_ += 2;
        } else if (c == '=') {
            tok_.kind = Token::Equal;
            ++pos_;
        } else if (two("&&")) {
            tok_.kind = Token::And;
            pos_ += 2;
        } else if (c == '"' || c == '\'') {
            tok_.kind = Token::String;
            ++pos_;
            while (pos_ < text_.size() && text_[pos_] != c) {
                if (text_[pos_] == '\\' && pos_ + 1 < text_.size()) ++pos_;
                tok_.text += text_[pos_++];
            }
            if (pos_ >= text_.size()) fail();
            ++pos_;
        } else if (c == '%') {
            formatDirective();
        } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                   (c == '-' && pos_ + 1 < text_.size() &&
                    std::isdigit(static_cast<unsigned char>(text_[pos_ + 1])))) {
            tok_.kind = Token::Number;
            size_t start = pos_++;
            while (pos_ < text_.size() &&
                   (std::isdigit(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '.'))
                ++pos_;
            tok_.text = text_.substr(start, pos_ - start);
        } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            size_t start = pos_;
            while (pos_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[pos_])) ||
                                           text_[pos_] == '_' || text_[pos_] == '.'))
                ++pos_;
            tok_.text = text_.substr(start, pos_ - start);
            std::string upper;
            for (char ch : tok_.text)
                upper += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            tok_.kind = upper == "AND" ? Token::And : Token::Word;
        } else {
            fail();
        }
    }

    void formatDirective() {
        ++pos_;  // '%'
        size_t start = pos_;
        while (pos_ < text_.size() &&
               (text_[pos_] == 'l' || text_[pos_] == 'h' || text_[pos_] == 'q'))
            ++pos_;
        if (pos_ >= text_.size()) fail();
        char conv = text_[pos_++];
        bool modified = pos_ - 1 > start;
        if (conv == '@' && !modified) {
            tok_.kind = Token::Arg;
            tok_.value = nextArg();
            if (is<NSNull>(tok_.value)) tok_.value = nullptr;
        } else if (conv == 'K' && !modified) {
            tok_.kind = Token::KeyArg;
            tok_.value = nextArg();
            if (!is<NSString>(tok_.value)) fail();
        } else if (conv == 'd' || conv == 'i' || conv == 'u' || conv == 'f' || conv == 'g' ||
                   conv == 'e') {
            // Numbers arrive already boxed by the argument conversion.
            tok_.kind = Token::Arg;
            tok_.value = nextArg();
            if (!is<NSNumber>(tok_.value)) fail();
        } else {
            fail();
        }
    }

    void expression(std::vector<NSPredicate::Comparison>& terms, bool& never) {
        primary(terms, never);
        while (tok_.kind == Token::And) {
            advance();
            primary(terms, never);
        }
    }

    void primary(std::vector<NSPredicate::Comparison>& terms, bool& never) {
        if (tok_.kind == Token::LParen) {
            advance();
            expression(terms, never);
            if (tok_.kind != Token::RParen) fail();
            advance();
            return;
        }
        if (tok_.kind == Token::Word) {
            if (tok_.text == "TRUEPREDICATE") {
                advance();
                return;
            }
            if (tok_.text == "FALSEPREDICATE") {
                never = true;
                advance();
                return;
            }
        }
        // key op value, or value op key.
        Token left = tok_;
        advance();
        if (tok_.kind != Token::Equal && tok_.kind != Token::NotEqual) fail();
        bool equal = tok_.kind == Token::Equal;
        advance();
        Token right = tok_;
        advance();
        Ref<NSString> key;
        Ref<NSObject> value;
        if (isKey(left) && !isKey(right)) {
            key = keyOf(left);
            value = valueOf(right);
        } else if (isKey(right) && !isKey(left)) {
            key = keyOf(right);
            value = valueOf(left);
        } else {
            fail();
        }
        terms.push_back({key, value, equal});
    }

    static bool isKeyword(const std::string& w) {
        static const char* const words[] = {"nil", "NULL", "TRUE", "YES", "FALSE", "NO"};
        for (const char* k : words) {
            std::string a = w, b = k;
            for (auto& ch : a)
                ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            for (auto& ch : b)
                ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            if (a == b) return true;
        }
        return false;
    }

    bool isKey(const Token& t) {
        return t.kind == Token::KeyArg || (t.kind == Token::Word && !isKeyword(t.text));
    }

    Ref<NSString> keyOf(const Token& t) {
        if (t.kind == Token::KeyArg) return cast<NSString>(t.value);
        return NSString::fromUTF8(t.text);
    }

    Ref<NSObject> valueOf(const Token& t) {
        switch (t.kind) {
            case Token::Arg:
                return t.value;
            case Token::String:
                return NSString::fromUTF8(t.text);
            case Token::Number:
                if (t.text.find('.') != std::string::npos)
                    return NSNumber::numberWithDouble(std::strtod(t.text.c_str(), nullptr));
                return NSNumber::numberWithLongLong(std::strtoll(t.text.c_str(), nullptr, 10));
            case Token::Word: {
                std::string u = t.text;
                for (auto& ch : u)
                    ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
                if (u == "NIL" || u == "NULL") return nullptr;
                if (u == "TRUE" || u == "YES") return NSNumber::numberWithBool(true);
                if (u == "FALSE" || u == "NO") return NSNumber::numberWithBool(false);
                fail();
            }
            default:
                fail();
        }
    }

    NSString* format_;
    std::string text_;
    std::vector<Ref<NSObject>> args_;
    size_t argIndex_ = 0;
    size_t pos_ = 0;
    Token tok_;
};

Ref<NSObject> boxArgument(const FormatArg& a) {
    switch (a.kind) {
        case FormatArg::Object:
            return Ref<NSObject>(a.object);
        case FormatArg::Signed:
            return NSNumber::numberWithLongLong(a.i);
        case FormatArg::Unsigned:
            return NSNumber::numberWithUnsignedLongLong(a.u);
        case FormatArg::Double:
            return NSNumber::numberWithDouble(a.d);
        case FormatArg::CString:
            return a.s ? Ref<NSObject>(NSString::stringWithUTF8String(a.s)) : nullptr;
        default:
            NSException::raise(NSInvalidArgumentException,
                               NS("Unsupported argument in a predicate format"));
    }
}

Ref<NSPredicate> build(NSString* format, std::vector<Ref<NSObject>> args) {
    if (!format) NSException::raise(NSInvalidArgumentException, NS("The predicate format is nil"));
    auto p = make<NSPredicate>();
    std::vector<NSPredicate::Comparison> terms;
    bool never = false;
    Parser(format, std::move(args)).parse(terms, never);
    p->setTerms(std::move(terms), never);
    return p;
}

}  // namespace

Ref<NSPredicate> NSPredicate::predicateWithFormatArgs(NSString* format, const FormatArg* args,
                                                      size_t count) {
    std::vector<Ref<NSObject>> values;
    for (size_t i = 0; i < count; ++i)
        values.push_back(boxArgument(args[i]));
    return build(format, std::move(values));
}

Ref<NSPredicate> NSPredicate::predicateWithFormatArgumentArray(NSString* format, NSArray* args) {
    std::vector<Ref<NSObject>> values;
    if (args)
        for (NSObject* o : *args)
            values.push_back(is<NSNull>(o) ? nullptr : Ref<NSObject>(o));
    return build(format, std::move(values));
}

Ref<NSPredicate> NSPredicate::predicateWithValue(bool value) {
    auto p = make<NSPredicate>();
    p->setTerms({}, !value);
    return p;
}

void NSPredicate::setTerms(std::vector<Comparison> terms, bool never) {
    terms_ = std::move(terms);
    never_ = never;
}

bool NSPredicateValuesEqual(NSObject* a, NSObject* b) {
    if (is<NSNull>(a)) a = nullptr;
    if (is<NSNull>(b)) b = nullptr;
    if (!a || !b) return a == b;
    if (auto na = dynamic_cast<NSNumber*>(a)) {
        auto nb = dynamic_cast<NSNumber*>(b);
        return nb && na->compare(nb) == NSOrderedSame;
    }
    return a->isEqual(b);
}

bool NSPredicate::evaluateWithObject(NSObject* object) {
    if (never_) return false;
    for (auto& t : terms_) {
        Ref<NSObject> v = object ? object->valueForKeyPath(t.key) : nullptr;
        if (NSPredicateValuesEqual(v, t.value) != t.equal) return false;
    }
    return true;
}

Ref<NSString> NSPredicate::predicateFormat() {
    if (never_) return NS("FALSEPREDICATE");
    if (terms_.empty()) return NS("TRUEPREDICATE");
    auto out = NSMutableString::string();
    for (size_t i = 0; i < terms_.size(); ++i) {
        auto& t = terms_[i];
        if (i) out->appendString(NS(" AND "));
        Ref<NSString> value;
        if (!t.value) {
            value = NS("nil");
        } else if (auto s = as<NSString>(t.value)) {
            value = NSString::stringWithFormat(
                NS("\"%@\""), s->stringByReplacingOccurrencesOfString(NS("\""), NS("\\\"")));
        } else {
            value = t.value->description();
        }
        out->appendFormat(NS("%@ %@ %@"), t.key, t.equal ? NS("==") : NS("!="), value);
    }
    return out;
}

Ref<NSArray> filteredArrayUsingPredicate(NSArray* array, NSPredicate* predicate) {
    auto out = NSMutableArray::array();
    if (!array) return out;
    for (NSObject* o : *array)
        if (!predicate || predicate->evaluateWithObject(o)) out->addObject(o);
    return out;
}
