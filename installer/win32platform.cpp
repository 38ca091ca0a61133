#include "win32platform.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windows.h>

#include <string>

namespace instalacja {

namespace {

constexpr int kFolderBufferSize = 1024;
constexpr int kLinkPathUnits = 260;

std::wstring toWide(const std::string& text, UINT codePage) {
    const int units = MultiByteToWideChar(codePage, 0, text.c_str(), -1, nullptr, 0);
    if (units <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(codePage, 0, text.c_str(), -1, wide.data(), units);
    wide.resize(static_cast<std::size_t>(units - 1));
    return wide;
}

std::string fromWide(const std::wstring& wide, UINT codePage) {
    const int bytes =
        WideCharToMultiByte(codePage, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string text(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(codePage, 0, wide.c_str(), -1, text.data(), bytes, nullptr, nullptr);
    text.resize(static_cast<std::size_t>(bytes - 1));
    return text;
}

std::string toAnsi(const std::string& utf8) {
    return fromWide(toWide(utf8, CP_UTF8), CP_ACP);
}
std::string fromAnsi(const std::string& ansi) {
    return fromWide(toWide(ansi, CP_ACP), CP_UTF8);
}

/// A shell folder of the current user, created when missing.
std::string shellFolder(int folderId) {
    char buffer[kFolderBufferSize] = {};
    if (FAILED(SHGetFolderPathA(nullptr, folderId | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                                buffer)))
        return {};
    return fromAnsi(buffer);
}

} // namespace

std::string Win32Platform::programFilesDir() {
    return shellFolder(CSIDL_PROGRAM_FILES);
}

std::string Win32Platform::programsMenuDir() {
    return shellFolder(CSIDL_PROGRAMS);
}

bool Win32Platform::isAbsoluteName(const std::string& name) const {
    return name.size() >= 2 && name[1] == ':';
}

int Win32Platform::createDirectory(const std::string& path) {
    if (CreateDirectoryA(toAnsi(path).c_str(), nullptr)) return kDone;
    return GetLastError() == ERROR_ALREADY_EXISTS ? kDone : kFailed;
}

int Win32Platform::copyFile(const std::string& source, const std::string& target) {
    const std::string ansiTarget = toAnsi(target);
    const std::string ansiSource = toAnsi(source);
    if (GetFileAttributesA(ansiSource.c_str()) == INVALID_FILE_ATTRIBUTES) return kSourceMissing;
    if (!CopyFileA(ansiSource.c_str(), ansiTarget.c_str(), FALSE)) return kFailed;
    return SetFileAttributesA(ansiTarget.c_str(), FILE_ATTRIBUTE_NORMAL) ? 0 : 1;
}

int Win32Platform::CreateShortcut(const std::string& target, const std::string& linkPath) {
    CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link))))
        return 1;
    const std::string ansiTarget = toAnsi(target);
    const std::size_t folderEnd = ansiTarget.find_last_of('\\');
    const std::string folder =
        folderEnd == std::string::npos ? std::string() : ansiTarget.substr(0, folderEnd + 1);
    link->SetPath(ansiTarget.c_str());
    link->SetWorkingDirectory(folder.c_str());

    int result = 1;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        // A link path longer than the shell's path buffer is not saved rather than cut short.
        wchar_t widePath[kLinkPathUnits] = {};
        if (MultiByteToWideChar(CP_ACP, 0, toAnsi(linkPath).c_str(), -1, widePath, kLinkPathUnits) >
                0 &&
            SUCCEEDED(file->Save(widePath, TRUE)))
            result = 0;
        file->Release();
    }
    link->Release();
    return result;
}

int Win32Platform::openFile(const std::string& file) {
    const HINSTANCE started =
        ShellExecuteA(nullptr, "open", toAnsi(file).c_str(), nullptr, nullptr, SW_SHOW);
    return reinterpret_cast<INT_PTR>(started) > 32 ? 0 : 1;
}

std::unique_ptr<InstallPlatform> makeSystemPlatform() {
    return std::make_unique<Win32Platform>();
}

} // namespace instalacja
