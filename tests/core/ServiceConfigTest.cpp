// The DNC service's config: what it takes, what it fills in, and what it
// refuses with the line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "service/ServiceConfig.h"

namespace {

bool Refused(const std::string& text, const std::string& why) {
    ServiceConfig c;
    std::string error;
    return !ParseServiceConfig(text, c, error) && error.find(why) != std::string::npos;
}

TEST(ServiceConfigTest, MachinesTakeTheirProfileWithChangesAndTheServicesFolders) {
    ServiceConfig c;
    std::string error;
    ASSERT_TRUE(ParseServiceConfig("# cell A\n[service]\nname = cellA\nlibrary = /srv/nc\n"
                                   "[broker]\nport = 1884\n"
                                   "[machine lathe]\nprofile = fanuc-iso\ndevice = /dev/null\n"
                                   "baud = 19200\nrequest_number = 800\n"
                                   "[machine mill]\nprofile = classic\ndevice = tcp://h:4001\n"
                                   "request_number = none\nlibrary = /other\n",
                                   c, error))
        << error;
    ASSERT_EQ(c.machines.size(), 2u);
    EXPECT_EQ(c.machines[0].profile.line.baudRate, 19200) << "the change, on the preset's line";
    EXPECT_EQ(c.machines[0].profile.wire.endOfBlock, FindPreset("fanuc-iso")->wire.endOfBlock);
    EXPECT_EQ(c.machines[0].library, "/srv/nc/lathe");
    EXPECT_EQ(c.machines[0].requestNumber, "O800");
    EXPECT_EQ(c.machines[1].requestNumber, "") << "requests off";
    EXPECT_EQ(c.machines[1].library, "/other");
    EXPECT_EQ(c.broker.host, "localhost") << "a [broker] without host is this machine's";
    EXPECT_EQ(c.broker.port, 1884);
    EXPECT_EQ(c.broker.service, "cellA") << "the service's name keeps it apart on the broker";

    ServiceConfig quiet;
    ASSERT_TRUE(
        ParseServiceConfig("[machine m]\nprofile = classic\ndevice = /dev/null\n", quiet, error));
    EXPECT_TRUE(quiet.broker.host.empty()) << "no [broker]: none";
}

// A config names its folders from where it lies, whoever reads it from where.
TEST(ServiceConfigTest, RelativeFoldersAreTheConfigsOwn) {
    char folder[] = "/tmp/sermida-config-XXXXXX";
    ASSERT_TRUE(::mkdtemp(folder));
    const std::string path = std::string(folder) + "/dnc.ini";
    std::ofstream(path) << "[service]\nlibrary = nc\nlog = /var/log/x\n"
                           "[machine m]\nprofile = classic\ndevice = /dev/null\n"
                           "[machine n]\nprofile = classic\ndevice = /dev/zero\nlibrary = ../n\n";
    ServiceConfig c;
    std::string error;
    ASSERT_TRUE(LoadServiceConfig(path, c, error)) << error;
    EXPECT_EQ(c.library, std::string(folder) + "/nc");
    EXPECT_EQ(c.log, "/var/log/x");
    EXPECT_EQ(c.machines[0].library, std::string(folder) + "/nc/m");
    EXPECT_EQ(c.machines[1].library, std::string(folder) + "/../n");
    std::remove(path.c_str());
    ::rmdir(folder);
}

TEST(ServiceConfigTest, WhatCannotBeFollowedIsRefusedWithItsLine) {
    const std::string m = "[machine m]\nprofile = classic\ndevice = /dev/null\n";
    EXPECT_TRUE(Refused("", "nothing to serve"));
    EXPECT_TRUE(Refused("[service]\n", "nothing to serve"));
    EXPECT_TRUE(Refused("name = x\n", "line 1: expected a [section] first"));
    EXPECT_TRUE(Refused("[shop]\n", "line 1: unknown section [shop]"));
    EXPECT_TRUE(Refused(m + "stop_bits = 3\n", "line 4: "));
    EXPECT_TRUE(Refused(m + "name_pattern = ((\n", "line 4: name_pattern"));
    EXPECT_TRUE(Refused(m + "request_number = PART\n", "line 4: request_number"));
    EXPECT_TRUE(Refused(m + "request_delay_seconds = -1\n", "line 4: request_delay_seconds"));
    EXPECT_TRUE(Refused(m + "profile = classic\n", "line 4: profile is given twice"));
    EXPECT_TRUE(Refused("[broker]\nport = 70000\n" + m, "line 2: port takes"));
    EXPECT_TRUE(Refused("[broker]\nqos = 2\n" + m, "line 2: unknown key 'qos' in [broker]"));
    EXPECT_TRUE(Refused("[machine a/b]\n", "line 1: a machine's name"));
    EXPECT_TRUE(Refused(m + "[machine m]\n", "line 4: machine m is already on line 1"));
    EXPECT_TRUE(Refused("[machine m]\n[machine n]\n", "line 2: machine m has no profile"));
    EXPECT_TRUE(Refused("[broker]\ntls_ca = /no/such/ca.pem\n" + m, "[broker]"));
}

} // namespace
