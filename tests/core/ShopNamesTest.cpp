// What the DNC service's broker link names and accepts, without a broker:
// machine names as topics, commands as they arrive, settings that cannot work.
#include <gtest/gtest.h>

#include <poll.h>

#include "TestHelpers.h"
#include "shopnet/ShopBroker.h"
#include "shopnet/ShopCommand.h"
#include "shopnet/ShopInbox.h"
#include "shopnet/ShopSettings.h"
#include "shopnet/ShopTopics.h"

namespace {

bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
}

// A machine's name must never widen a subscription or step into another
// topic level, whatever the operator typed or the profile's encoding.
TEST(ShopTopicsTest, MachineNamesStayOneTopicLevel) {
    EXPECT_EQ(MachineTopicName("Mill 1"), "Mill 1");
    EXPECT_EQ(MachineTopicName("Lathe/2"), "Lathe_2");
    EXPECT_EQ(MachineTopicName("a+b#c"), "a_b_c");
    EXPECT_EQ(MachineTopicName(std::string("a\0b\n", 4)), "a_b_");
    EXPECT_EQ(MachineTopicName(""), "_");
    EXPECT_EQ(MachineTopicName("车床3"), "车床3");           // UTF-8 stays
    EXPECT_EQ(MachineTopicName("\xB3\xB5\xB4\xB2"), "____"); // GBK is no UTF-8
    EXPECT_EQ(MachineTopicName("\xC0\xAF"), "__");           // an overlong '/'

    const ShopTopics topics("plant2/sermida", "east");
    EXPECT_EQ(topics.State("Mill 1"), "plant2/sermida/east/Mill 1/state");
    EXPECT_EQ(topics.AllCommands(), "plant2/sermida/east/+/command");
    EXPECT_EQ(topics.CommandMachine("plant2/sermida/east/Mill 1/command"), "Mill 1");
    EXPECT_EQ(topics.CommandMachine("plant2/sermida/west/Mill 1/command"), "");
    EXPECT_EQ(topics.CommandMachine("plant2/sermida/east/a/b/command"), "");
    EXPECT_EQ(topics.CommandMachine("plant2/sermida/east/Mill 1/reply"), "");
}

TEST(ShopTopicsTest, TwoMachinesMeetingInOneTopicNameAreRefused) {
    ShopBroker broker;
    std::string why;
    EXPECT_TRUE(broker.AddMachine("Lathe/2", why));
    EXPECT_TRUE(broker.AddMachine("Lathe/2", why));
    EXPECT_FALSE(broker.AddMachine("Lathe+2", why));
    EXPECT_NE(why.find("Lathe_2"), std::string::npos) << why;
    // The one refused is no machine of ours: nothing is published for it.
    EXPECT_FALSE(broker.SetState("Lathe+2", "idle"));
    EXPECT_TRUE(broker.SetState("Lathe/2", "idle"));
}

TEST(ShopTopicsTest, JsonTextsStayValidWhateverTheyCarry) {
    EXPECT_EQ(JsonString("say \"hi\"\\"), "\"say \\\"hi\\\"\\\\\"");
    EXPECT_EQ(JsonString("a\nb\x01"), "\"a\\u000ab\\u0001\"");
    EXPECT_EQ(JsonString("\xFF"), "\"\xEF\xBF\xBD\"");
    EXPECT_EQ(SendProgress(3, 10), "{\"sent\":3,\"total\":10}");
    EXPECT_EQ(SendingState(3, 10), "sending 3/10");
    EXPECT_EQ(RefusedReply("send O1", "busy \"now\""),
              "{\"command\":\"send O1\",\"result\":\"refused\",\"reason\":\"busy \\\"now\\\"\"}");
}

TEST(ShopCommandTest, TheVerbsAndWhatTheyTake) {
    ParsedCommand c;
    std::string why;
    ASSERT_TRUE(ParseShopCommand("send O1234", c, why)) << why;
    EXPECT_EQ(c.verb, ParsedCommand::Verb::Send);
    EXPECT_EQ(c.program, "O1234");
    ASSERT_TRUE(ParseShopCommand("SEND  part-7.nc", c, why)) << why;
    EXPECT_EQ(c.program, "part-7.nc");
    ASSERT_TRUE(ParseShopCommand("receive", c, why));
    EXPECT_EQ(c.verb, ParsedCommand::Verb::Receive);
    ASSERT_TRUE(ParseShopCommand("Cancel", c, why));
    EXPECT_EQ(c.verb, ParsedCommand::Verb::Cancel);

    // A program name never reaches outside the program store.
    for (const char* bad : {"send", "send ../../etc/passwd", "send .hidden", "send a/b",
                            "send O1 O2", "receive now", "format c:", "sendO1"})
        EXPECT_FALSE(ParseShopCommand(bad, c, why)) << bad;
}

TEST(ShopCommandTest, PayloadsThatAreNoCommandTextAreRefused) {
    std::string text, why;
    ASSERT_TRUE(CommandText("  send O1\r\n", text, why));
    EXPECT_EQ(text, "send O1");
    EXPECT_FALSE(CommandText(std::string(kMaxCommandBytes + 1, 'x'), text, why));
    EXPECT_FALSE(CommandText("send \xB3\xB5", text, why)); // not UTF-8
    EXPECT_FALSE(CommandText("send O1\x1b[2J", text, why));
    EXPECT_FALSE(CommandText(" \n", text, why));
}

TEST(ShopSettingsTest, SettingsThatCannotWorkAreToldAtStart) {
    TempDir dir;
    ShopBrokerSettings s;
    s.host = "127.0.0.1";
    std::string why;
    EXPECT_TRUE(CheckShopBrokerSettings(s, why)) << why;

    ShopBrokerSettings bad = s;
    bad.port = 70000;
    EXPECT_FALSE(CheckShopBrokerSettings(bad, why));
    bad = s;
    bad.service = "east/1";
    EXPECT_FALSE(CheckShopBrokerSettings(bad, why));
    bad = s;
    bad.prefix = "sermida/#";
    EXPECT_FALSE(CheckShopBrokerSettings(bad, why));
    bad = s;
    bad.password = "secret";
    EXPECT_FALSE(CheckShopBrokerSettings(bad, why));

    bad = s;
    bad.tls = true;
    bad.caFile = dir.File("missing-ca.crt");
    ShopBroker broker;
    EXPECT_FALSE(broker.Start(bad, why));
    EXPECT_NE(why.find("missing-ca.crt"), std::string::npos) << why;
    WriteBytes(dir.File("ca.crt"), "x");
    bad.caFile = dir.File("ca.crt");
    bad.certFile = dir.File("client.crt");
    EXPECT_FALSE(CheckShopBrokerSettings(bad, why)) << "a certificate without its key";

    EXPECT_FALSE(HasBroker(ShopBrokerSettings{}));
    const std::string id = DefaultClientId("east 1");
    EXPECT_NE(id.find("-east_1"), std::string::npos) << id;
}

TEST(ShopInboxTest, TheFdTellsWhileSomethingWaitsAndTheQueueIsBounded) {
    ShopInbox inbox(2);
    ASSERT_GE(inbox.WakeFd(), 0);
    EXPECT_FALSE(Readable(inbox.WakeFd()));
    EXPECT_TRUE(inbox.PushCommand({"Mill", "receive"}));
    inbox.PushNotice("connected");
    EXPECT_TRUE(inbox.PushCommand({"Mill", "cancel"}));
    EXPECT_FALSE(inbox.PushCommand({"Mill", "send O1"}));
    EXPECT_TRUE(Readable(inbox.WakeFd()));

    const auto commands = inbox.TakeCommands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].text, "receive");
    EXPECT_EQ(commands[1].text, "cancel");
    EXPECT_TRUE(Readable(inbox.WakeFd())) << "the notice still waits";
    EXPECT_EQ(inbox.TakeNotices(), std::vector<std::string>{"connected"});
    EXPECT_FALSE(Readable(inbox.WakeFd()));
}

} // namespace
