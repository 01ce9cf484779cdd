#include "machine/MachineProfile.h"

#include "machine/NameTable.h"

PortSettings MachineProfile::Line() const {
    PortSettings settings = line;
    settings.rtsCts = flow == Flow::RtsCts || flow == Flow::Both;
    return settings;
}

namespace {
using Flow = MachineProfile::Flow;
constexpr Named<Flow> kFlowNames[] = {{Flow::XonXoff, "xonxoff"},
                                      {Flow::RtsCts, "rtscts"},
                                      {Flow::Both, "both"},
                                      {Flow::None, "none"}};
} // namespace

const char* FlowName(MachineProfile::Flow flow) {
    return NameOf(kFlowNames, flow);
}

bool ParseFlow(const std::string& name, MachineProfile::Flow& out) {
    return ValueOf(kFlowNames, name, out);
}
