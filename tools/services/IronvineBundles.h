// What the Ironvine ad server hands out: text and sound files, and zip bundles written with
// minizip's writer, hostile ones included. Shared by the services module that serves them and
// the tests that check what the client made of them.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace bnservices {

struct IronvineZipEntry {
    std::string name;
    std::string data;
    bool deflate = true;
    // When set, the entry declares this uncompressed size instead of the true one.
    long declaredSize = -1;
};

// The bytes of an archive with these entries.
std::string ironvineZip(const std::vector<IronvineZipEntry>& entries);

// The bundles by name: "nested" (folders, folder entries, an empty file, stored and deflated
// entries), "hostile" ("../x", "/abs", a 300-byte name beside one good file), "understated"
// (an entry that declares fewer bytes than it holds) and "truncated" (the first half of
// "nested").
std::optional<std::vector<IronvineZipEntry>> ironvineBundleEntries(const std::string& name);
std::optional<std::string> ironvineBundle(const std::string& name);

// The bundle of one served ad: "ad.html" (the fragment the display script shows, naming its
// files under {slot}/{dlTime}/ of the content folder), "banner.gif" and "tone.wav".
std::vector<IronvineZipEntry> ironvineAdBundleEntries(const std::string& slot, long long dlTime);

// The files by name: "quotes.txt" (quotes, backslashes, line feeds, U+2028 and U+2029) and
// "tone.wav" (a quarter second of 8-bit PCM).
std::optional<std::string> ironvineFile(const std::string& name);

}  // namespace bnservices
