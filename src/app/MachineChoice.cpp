#include "app/MachineChoice.h"

#include "app/AppHooks.h"
#include "machine/ProfileFile.h"
#include "settings/PortOptions.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsProposal.h"

namespace machine_choice {

QString Title(const std::string& name) {
    return name == kClassic ? QStringLiteral("经典 (Sermida.ini)") : QString::fromStdString(name);
}

QString ErrorText(const std::string& name, const std::string& error) {
    return QStringLiteral("机床配置“%1”有误：%2")
        .arg(QString::fromStdString(name), QString::fromStdString(error));
}

bool Load(const std::string& name, MachineProfile& out) {
    std::string error;
    if (LoadMachine(name, out, error))
        return true;
    app_hooks::ShowMessage(ErrorText(name, error));
    return false;
}

namespace {

// Sermida.ini's line on that port, exactly as the settings dialog would
// propose and OK would open it.
PortSettings ClassicLine(int portNumber) {
    PortSettings unset;
    unset.portNumber = portNumber;
    SettingsTokens file;
    const bool found = LoadSettingsFile(file);
    const DialogSelection s =
        SelectionOfProposal(ProposeSelections(unset, found ? &file : nullptr));
    DialogChoice choice;
    choice.portIndex = s.port;
    choice.baudText = s.baud >= 0 ? std::string(port_options::kBaudList[size_t(s.baud)])
                                  : std::string(port_options::kDefaultBaud);
    choice.dataBitsIndex = s.dataBits;
    choice.stopBitsIndex = s.stopBits;
    choice.parityIndex = s.parity;
    return SettingsOfChoice(choice);
}

} // namespace

Line LineFor(const MachineProfile& machine, int portNumber) {
    if (machine.name == kClassic)
        return {ClassicLine(portNumber), {}};
    Line line{machine.Line(), machine.device};
    if (line.address.empty() && portNumber >= 1)
        line.settings.portNumber = portNumber;
    return line;
}

bool SameLine(const Line& a, const Line& b) {
    const PortSettings &x = a.settings, &y = b.settings;
    return x.portNumber == y.portNumber && x.baudRate == y.baudRate && x.dataBits == y.dataBits &&
           x.stopBits == y.stopBits && x.parity == y.parity && x.rtsCts == y.rtsCts &&
           a.address == b.address;
}

} // namespace machine_choice
