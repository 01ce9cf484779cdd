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

std::string SettingsFolderOf(const char* sermidaHome, const std::string& exeFolder,
                             const char* xdgConfigHome, const char* home) {
    if (sermidaHome && *sermidaHome) {
        std::string folder = sermidaHome;
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        MakeFolders(folder);
        return folder;
    }
    if (Exists(exeFolder + "/Sermida.ini") || ::access(exeFolder.c_str(), W_OK) == 0)
        return exeFolder;
    std::string base;
    if (xdgConfigHome && *xdgConfigHome == '/')
        base = xdgConfigHome;
    else if (home && *home)
        base = std::string(home) + "/.config";
    else
        base = "/tmp";
    std::string folder = base + "/Sermida";
    MakeFolders(folder);
    return folder;
}

std::string SettingsFolder() {
    return SettingsFolderOf(std::getenv("SERMIDA_HOME"), ExecutableFolder(),
                            std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}
