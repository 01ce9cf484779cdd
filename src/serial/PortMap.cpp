#include "serial/PortMap.h"

#include <cstdlib>
#include <fstream>

#include "common/SettingsFolder.h"
#include "common/TextFields.h"

std::string DevicePathOfPort(int portNumber) {
    const std::string name = "COM" + std::to_string(portNumber);
    if (const char* env = std::getenv(("SERMIDA_" + name).c_str()); env && *env)
        return env;
    std::ifstream ports(SettingsFolder() + "/Sermida.ports");
    std::string line;
    while (std::getline(ports, line)) {
        line = Trim(line);
        auto eq = line.find('=');
        if (line.empty() || line[0] == '#' || eq == std::string::npos)
            continue;
        if (Trim(line.substr(0, eq)) == name) {
            std::string path = Trim(line.substr(eq + 1));
            if (!path.empty())
                return path;
        }
    }
    return "/dev/ttyS" + std::to_string(portNumber - 1);
}
