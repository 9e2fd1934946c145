#include <algorithm>
#include <cctype>

#include "support/http/TestServer.h"

namespace testhttp {

void Headers::add(std::string name, std::string value) {
    fields_.push_back({std::move(name), std::move(value)});
}

void Headers::set(std::string name, std::string value) {
    auto first = std::find_if(fields_.begin(), fields_.end(),
                              [&](const Field& f) { return equalsIgnoringCase(f.name, name); });
    if (first == fields_.end()) {
        add(std::move(name), std::move(value));
        return;
    }
    first->name = std::move(name);
    first->value = std::move(value);
    const std::string& kept = first->name;
    auto next = std::next(first);
    fields_.erase(std::remove_if(next, fields_.end(),
                                 [&](const Field& f) { return equalsIgnoringCase(f.name, kept); }),
                  fields_.end());
}

void Headers::remove(std::string_view name) {
    fields_.erase(std::remove_if(fields_.begin(), fields_.end(),
                                 [&](const Field& f) { return equalsIgnoringCase(f.name, name); }),
                  fields_.end());
}

bool Headers::has(std::string_view name) const {
    return get(name).has_value();
}

std::optional<std::string> Headers::get(std::string_view name) const {
    for (const Field& f : fields_)
        if (equalsIgnoringCase(f.name, name)) return f.value;
    return std::nullopt;
}

std::string Headers::value(std::string_view name) const {
    return get(name).value_or("");
}

std::vector<std::string> Headers::all(std::string_view name) const {
    std::vector<std::string> values;
    for (const Field& f : fields_)
        if (equalsIgnoringCase(f.name, name)) values.push_back(f.value);
    return values;
}

std::size_t Headers::count(std::string_view name) const {
    return all(name).size();
}

Response::Response(int status, std::string body, std::string contentType)
    : status(status), body(std::move(body)) {
    if (!contentType.empty()) headers.add("Content-Type", std::move(contentType));
}

}  // namespace testhttp
