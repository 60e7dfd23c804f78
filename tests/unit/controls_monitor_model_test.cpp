// The simulator's monitor on its own: what it answers, what its control
// interface changes, and the notifications both kinds of change post.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "link/service.h"
#include "monitor_model.h"

namespace {

using lmvx::ServiceRecord;
using Notes = std::vector<std::pair<uint32_t, uint32_t>>;

class MonitorModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        model_.SetNotifier([this](uint32_t code, uint32_t value) { notes_.emplace_back(code, value); });
    }
    ServiceRecord Ask(uint32_t command, uint32_t code = 0, uint32_t value = 0) {
        ServiceRecord request = ServiceRecord::Request(command);
        request.SetWord(16, code);
        request.SetWord(20, value);
        ServiceRecord reply = request;
        reply.result = 1;
        EXPECT_TRUE(model_.Answer(request, &reply)) << command;
        return reply;
    }
    std::string Run(std::vector<std::string> args) {
        std::string reply;
        EXPECT_TRUE(model_.Control(args, &reply)) << args[0];
        return reply;
    }
    sim::MonitorModel model_;
    Notes notes_;
};

TEST_F(MonitorModelTest, FactoryValuesAndCapabilities) {
    const std::pair<uint32_t, uint32_t> factory[] = {{0x10, 75}, {0x12, 50}, {0x14, 0x05}, {0x16, 50},
                                                     {0x18, 50}, {0x1A, 50}, {0x60, 0x0F}, {0xDC, 0x00}};
    for (const auto& [code, value] : factory) {
        const ServiceRecord reply = Ask(ORV::kGetVcpValue, code);
        EXPECT_EQ(reply.result, 1u);
        EXPECT_EQ(reply.Word(20), value) << code;
        EXPECT_EQ(Ask(ORV::kGetVcpCapabilities, code).Word(20), 1u) << code;
    }
    const ServiceRecord inputs = Ask(ORV::kGetVcpCapabilities, 0x60);
    ASSERT_EQ(inputs.Word(24), 4u);
    EXPECT_EQ(inputs.Word(28), 0x0Fu);
    EXPECT_EQ(inputs.Word(40), 0x12u);
    EXPECT_EQ(Ask(ORV::kGetVcpCapabilities, 0x12).Word(24), 0u);  // continuous: no list
    EXPECT_EQ(Ask(ORV::kGetVcpValue, 0x99).result, 0u);
    const ServiceRecord unknown = Ask(ORV::kGetVcpCapabilities, 0x99);
    EXPECT_EQ(unknown.Word(20), 0u);
    EXPECT_EQ(unknown.Word(24), 0u);
    EXPECT_EQ(Ask(ORV::kGetModeScheme).Word(12), 1u);
    EXPECT_EQ(Ask(ORV::kGetModeVariant).Word(12), 0u);
    ServiceRecord other = ServiceRecord::Request(ORV::kHdrState);
    EXPECT_FALSE(model_.Answer(other, &other));
    EXPECT_TRUE(notes_.empty());
}

TEST_F(MonitorModelTest, HostWritesChangeValuesAndNotifyOnlyRealChanges) {
    EXPECT_EQ(Ask(ORV::kSetVcpValue, 0x12, 70).result, 1u);
    EXPECT_EQ(Ask(ORV::kSetVcpValue, 0x12, 70).result, 1u);  // unchanged: no notification
    EXPECT_EQ(Ask(ORV::kSetVcpValue, 0x60, 0x11).result, 1u);
    EXPECT_EQ(Ask(ORV::kSetVcpValue, 0x12, 101).result, 0u);   // above the maximum
    EXPECT_EQ(Ask(ORV::kSetVcpValue, 0x60, 0x30).result, 0u);  // not in the list
    EXPECT_EQ(Ask(ORV::kSetVcpValue, 0x99, 1).result, 0u);
    EXPECT_EQ(Ask(ORV::kGetVcpValue, 0x12).Word(20), 70u);
    EXPECT_EQ(notes_, (Notes{{0x12, 70}, {0x60, 0x11}}));
}

TEST_F(MonitorModelTest, RestoreFactoryDefaultsPutsBackWhatChanged) {
    Ask(ORV::kSetVcpValue, 0x12, 10);
    Ask(ORV::kSetVcpValue, 0xDC, 0x03);
    notes_.clear();
    EXPECT_EQ(Ask(ORV::kSetVcpValue, 0x04, 0).result, 1u);  // 0 restores nothing
    EXPECT_TRUE(notes_.empty());
    EXPECT_EQ(Ask(ORV::kSetVcpValue, 0x04, 1).result, 1u);
    EXPECT_EQ(notes_, (Notes{{0x12, 50}, {0xDC, 0x00}}));
    EXPECT_EQ(model_.Value(0x12), 50u);
    EXPECT_EQ(Ask(ORV::kGetVcpCapabilities, 0x04).Word(20), 1u);
}

TEST_F(MonitorModelTest, ControlInterface) {
    EXPECT_EQ(Run({"set", "0x12", "33"}), "ok");
    EXPECT_EQ(Run({"get", "0x12"}), "0x12 33");
    EXPECT_EQ(Run({"set", "0x12", "33"}), "ok");
    EXPECT_EQ(Run({"caps", "0xDC", "0,2,0x33"}), "ok");
    EXPECT_EQ(Run({"set", "0xDC", "51"}), "ok");
    EXPECT_EQ(Run({"scheme", "2"}), "ok");
    EXPECT_EQ(Run({"variant", "7"}), "ok");
    EXPECT_EQ(Run({"support", "0x14", "0"}), "ok");
    EXPECT_EQ(notes_, (Notes{{0x12, 33}, {0xDC, 0x33}}));

    const ServiceRecord modes = Ask(ORV::kGetVcpCapabilities, 0xDC);
    EXPECT_EQ(modes.Word(24), 3u);
    EXPECT_EQ(modes.Word(36), 0x33u);
    EXPECT_EQ(Ask(ORV::kGetVcpCapabilities, 0x14).Word(20), 0u);
    EXPECT_EQ(Ask(ORV::kGetModeScheme).Word(12), 2u);
    EXPECT_EQ(Ask(ORV::kGetModeVariant).Word(12), 7u);
    EXPECT_EQ(Run({"caps", "0x60", "none"}), "ok");
    EXPECT_EQ(Ask(ORV::kGetVcpCapabilities, 0x60).Word(24), 0u);

    notes_.clear();
    EXPECT_EQ(Run({"factory-reset"}), "ok");
    EXPECT_EQ(notes_, (Notes{{0x12, 50}, {0xDC, 0x00}}));
    EXPECT_EQ(Run({"monitor"}).rfind("0x10=75 0x12=50 ", 0), 0u);
}

TEST_F(MonitorModelTest, ControlErrorsChangeNothing) {
    const std::vector<std::vector<std::string>> bad = {
        {"set", "0x12"},        {"set", "0x12", "x"},    {"set", "0x99", "1"},   {"set", "0x12", "500"},
        {"set", "0x12", "-1"},  {"get", "0x99"},         {"caps", "0x12"},       {"caps", "0x99", "1"},
        {"caps", "0x60", "1,,2"}, {"support", "0x12", "2"}, {"scheme"},          {"variant", "a"},
    };
    for (const auto& args : bad) EXPECT_EQ(Run(args).rfind("error: ", 0), 0u) << args[0] << " " << args.size();
    std::string reply;
    EXPECT_FALSE(model_.Control({"hdr", "1"}, &reply));  // not this model's
    EXPECT_FALSE(model_.Control({}, &reply));
    EXPECT_TRUE(notes_.empty());
    EXPECT_EQ(model_.Value(0x12), 50u);
}

}  // namespace
