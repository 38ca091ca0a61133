#pragma once

// The web page pixbard serves at "/": its files, built into the program.

#include <cstddef>
#include <string_view>

namespace pixbard {

struct PageFile {
    std::string_view path; ///< "/index.html"
    std::string_view contentType;
    std::string_view etag; ///< quoted, from the content's hash
    std::string_view content;
};

extern const PageFile kPageFiles[];
extern const std::size_t kPageFileCount;

/// The file served at `path` ("/" is the index), or null.
const PageFile* FindPageFile(std::string_view path);

} // namespace pixbard
