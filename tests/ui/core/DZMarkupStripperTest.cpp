#include <gtest/gtest.h>

#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "support/FoundationTesting.h"
#include "ui/core/DZEntityTables.h"
#include "ui/core/DZMarkupStripper.h"
#include "ui/core/DZStringAdditions.h"

namespace {

std::string strip(const char* markup) {
    return text(make<DZMarkupStripper>()->parse(str(markup)));
}

TEST(DZMarkupStripper, TagsGoTextStays) {
    EXPECT_EQ(strip("<b>word</b> another"), "word another");
    EXPECT_EQ(strip("no markup at all"), "no markup at all");
    EXPECT_EQ(strip(""), "");
    EXPECT_EQ(strip("<p>one<br/>two</p><i>three</i>"), "onetwothree");
}

TEST(DZMarkupStripper, EntityReferencesBecomeCharacters) {
    EXPECT_EQ(strip("caf&eacute;&nbsp;&amp;&lt;&#65;&yuml;"), "café &<Aÿ");
    EXPECT_EQ(strip("&Agrave;&iexcl;&copy;"), "À¡©");
}

TEST(DZMarkupStripper, TextOutsideLatin1IsReadAsWritten) {
    // Characters beyond Latin-1 and beyond the basic plane survive the trip to the parser.
    EXPECT_EQ(strip("<b>Łódź</b> €5 😀"), "Łódź €5 😀");
    EXPECT_EQ(text(stringByRemovingHTMLTags(str("naïve <em>résumé</em>"))), "naïve résumé");
}

TEST(DZMarkupStripper, UnreadableMarkupEndsTheTextWhereItStops) {
    EXPECT_EQ(strip("before&shy;after"), "before");
    EXPECT_EQ(strip("kept <b>open"), "kept open");
    EXPECT_EQ(strip("lone & ampersand"), "lone ");
    EXPECT_EQ(strip("&unknown; text"), "");
}

TEST(DZEntityTables, HoldsTheLatin1NamesAsUTF8) {
    auto tables = DZEntityTables::sharedInstance();
    EXPECT_EQ(tables.get(), DZEntityTables::sharedInstance().get());
    Ref<NSDictionary> table = tables->iso88591();
    EXPECT_EQ(table->count(), 100u);
    auto bytes = [&](const char* name) {
        auto d = as<NSData>(table->objectForKey(str(name)));
        return d ? std::string(static_cast<const char*>(d->bytes()), d->length())
                 : std::string("<none>");
    };
    EXPECT_EQ(bytes("quot"), "\"");
    EXPECT_EQ(bytes("apos"), "'");
    EXPECT_EQ(bytes("amp"), "&");
    EXPECT_EQ(bytes("lt"), "<");
    EXPECT_EQ(bytes("gt"), ">");
    EXPECT_EQ(bytes("nbsp"), " ");
    EXPECT_EQ(bytes("iexcl"), "\xC2\xA1");
    EXPECT_EQ(bytes("eacute"), "é");
    EXPECT_EQ(bytes("yuml"), "\xC3\xBF");
    EXPECT_EQ(bytes("shy"), "<none>");
    EXPECT_EQ(bytes("euro"), "<none>");
    EXPECT_EQ(tables->copy().get(), tables.get());
}

TEST(DZEntityTables, ReleasingTheSharedInstanceMakesANewOne) {
    Weak<DZEntityTables> first = DZEntityTables::sharedInstance();
    DZEntityTables::releaseSharedInstance();
    EXPECT_FALSE(first.alive());
    auto second = DZEntityTables::sharedInstance();
    EXPECT_EQ(second->iso88591()->count(), 100u);
    // A holder keeps its instance alive across a release.
    DZEntityTables::releaseSharedInstance();
    EXPECT_EQ(second->iso88591()->count(), 100u);
    EXPECT_NE(DZEntityTables::sharedInstance().get(), second.get());
}

}  // namespace
