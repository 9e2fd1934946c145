// A fixed list of patterns applied together, again and again, to one range of one subject: a
// scraper's rules for each row of a page. Each pattern is found in the compiled-pattern cache on
// its first use and afterwards recognised under the cache lock by identity, as the cache's last
// hit is; all of them are matched under one taking of the lock (plain patterns on a subject's
// units in place, without binding the cached pattern to the subject).
#pragma once

#include <initializer_list>
#include <vector>

#include "Classes/MatchKit/MatchKit.h"
#include "Foundation/NSString.h"

struct MTKCachedRegex;

class MTKRegexList {
public:
    struct Item {
        NSString* regex;
        NSInteger capture;
    };
    explicit MTKRegexList(std::initializer_list<Item> items,
                          MTKRegexOptions options = MTKRegexNoOptions);
    MTKRegexList(const MTKRegexList&) = delete;
    MTKRegexList& operator=(const MTKRegexList&) = delete;

    size_t count() const { return regexes_.size(); }
    // ranges[i] receives what rangeOfRegex(subject, regex i, options, range, capture i, nullptr)
    // answers; wrong use raises as that does.
    void rangesInRange(NSString* subject, NSRange range, NSRange* ranges);

private:
    // Held, so that no other pattern can stand at their addresses while the list lives.
    std::vector<Ref<NSString>> regexes_;
    std::vector<NSInteger> captures_;
    // The entry each pattern was last found in; checked under the lock before each use.
    std::vector<MTKCachedRegex*> entries_;
    MTKRegexOptions options_;
    bool hasNilRegex_ = false;
};
