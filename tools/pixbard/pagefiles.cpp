#include "pagefiles.h"

namespace pixbard {

const PageFile* FindPageFile(std::string_view path) {
    if (path == "/") path = "/index.html";
    for (std::size_t i = 0; i < kPageFileCount; ++i)
        if (kPageFiles[i].path == path) return &kPageFiles[i];
    return nullptr;
}

} // namespace pixbard
