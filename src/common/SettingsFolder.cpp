#include "common/SettingsFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

void MakeFolders(const std::string& path) {
    for (size_t at = 1; at != std::string::npos; at = path.find('/', at + 1))
        ::mkdir(path.substr(0, at).c_str(), 0755);
    ::mkdir(path.c_str(), 0755);
}

} // namespace

std::string ExecutableFolder() {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return ".";
    std::string path(buf, size_t(n));
    auto slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string SettingsFolder() {
    if (const char* home = std::getenv("SERMIDA_HOME"); home && *home) {
        std::string folder = home;
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        MakeFolders(folder);
        return folder;
    }
    std::string exe = ExecutableFolder();
    if (Exists(exe + "/Sermida.ini") || ::access(exe.c_str(), W_OK) == 0)
        return exe;
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.config";
    else
        base = "/tmp";
    std::string folder = base + "/Sermida";
    MakeFolders(folder);
    return folder;
}
