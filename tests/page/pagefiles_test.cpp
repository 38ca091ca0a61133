// The page built into pixbard: every file the index names is there, each with its own ETag.
#include "pagefiles.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

using namespace pixbard;

TEST(PageFiles, TheIndexIsServedAtTheRoot) {
    const PageFile* root = FindPageFile("/");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root, FindPageFile("/index.html"));
    EXPECT_TRUE(root->contentType.starts_with("text/html"));
    for (const char* path : {"", "/nie-ma.js", "/api/v1/signs", "/index.htm", "//"})
        EXPECT_EQ(FindPageFile(path), nullptr) << path;
}

TEST(PageFiles, EveryFileTheIndexNamesIsBuiltIn) {
    const std::string index(FindPageFile("/")->content);
    const std::regex reference(R"re((?:href|src)="(/[^"]*)")re");
    int named = 0;
    for (auto it = std::sregex_iterator(index.begin(), index.end(), reference);
         it != std::sregex_iterator(); ++it, ++named) {
        const PageFile* file = FindPageFile((*it)[1].str());
        ASSERT_NE(file, nullptr) << (*it)[1];
        EXPECT_FALSE(file->content.empty());
    }
    EXPECT_GE(named, 2);
}

TEST(PageFiles, EachFileHasItsOwnQuotedTagAndSmallSize) {
    std::set<std::string_view> tags;
    std::size_t total = 0;
    for (std::size_t i = 0; i < kPageFileCount; ++i) {
        const PageFile& f = kPageFiles[i];
        SCOPED_TRACE(std::string(f.path));
        EXPECT_TRUE(f.etag.size() > 2 && f.etag.front() == '"' && f.etag.back() == '"');
        EXPECT_TRUE(tags.insert(f.etag).second);
        // The page takes nothing from another server.
        EXPECT_EQ(f.content.find("http://"), std::string_view::npos);
        EXPECT_EQ(f.content.find("https://"), std::string_view::npos);
        total += f.content.size();
    }
    EXPECT_LT(total, 150u * 1024);
}
