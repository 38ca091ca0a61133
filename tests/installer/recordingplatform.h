#pragma once

#include "installplatform.h"

#include <string>
#include <vector>

/// A platform that only writes down what the script asked of it, with Windows folders.
class RecordingPlatform : public instalacja::InstallPlatform {
public:
    std::vector<std::string> calls;
    int result = 0; ///< what every operation reports

    std::string programFilesDir() override { return "C:\\Program Files"; }
    std::string programsMenuDir() override { return "C:\\Menu\\Programs"; }
    bool isAbsoluteName(const std::string& name) const override {
        return name.size() >= 2 && name[1] == ':';
    }
    std::string shortcutExtension() const override { return ".lnk"; }

    int createDirectory(const std::string& path) override {
        calls.push_back("mkdir " + path);
        return result;
    }
    int copyFile(const std::string& source, const std::string& target) override {
        calls.push_back("copy " + source + " > " + target);
        return result;
    }
    int CreateShortcut(const std::string& target, const std::string& linkPath) override {
        calls.push_back("link " + linkPath + " > " + target);
        return result;
    }
    int openFile(const std::string& file) override {
        calls.push_back("open " + file);
        return result;
    }
};
