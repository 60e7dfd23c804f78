// The simulator's feature services on their own: what they answer and
// refuse, their limits, the control interface and the notifications.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "feature_model.h"
#include "link/service.h"

namespace {

using lmvx::ServiceRecord;
using Notes = std::vector<std::pair<uint32_t, uint32_t>>;

class FeatureModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        model_.SetNotifier([this](uint32_t code, uint32_t value) { notes_.emplace_back(code, value); });
    }
    ServiceRecord Ask(ServiceRecord request) {
        ServiceRecord reply = request;
        reply.result = 1;
        EXPECT_TRUE(model_.Answer(request, &reply)) << request.command;
        return reply;
    }
    ServiceRecord Ask(uint32_t command, uint32_t word12 = 0, uint32_t word16 = 0) {
        ServiceRecord request = ServiceRecord::Request(command);
        request.SetWord(12, word12);
        request.SetWord(16, word16);
        return Ask(request);
    }
    ServiceRecord AskApp(uint32_t command, const std::u16string& name, const std::u16string& second = u"") {
        ServiceRecord request = ServiceRecord::Request(command);
        request.SetString(ORV::kAppNameOffset, 100, name.c_str());
        if (command == ORV::kAddAutoColorApp) request.SetString(ORV::kAppPathOffset, 300, second.c_str());
        if (command == ORV::kSetAutoColorAppMode) request.SetString(ORV::kAppModeOffset, 100, second.c_str());
        return Ask(request);
    }
    std::string Run(std::vector<std::string> args) {
        std::string reply;
        EXPECT_TRUE(model_.Control(args, &reply)) << args[0];
        return reply;
    }
    static std::u16string Slot(const ServiceRecord& record, uint32_t offset) {
        char16_t text[100];
        const uint32_t n = record.ReadString(offset, 100, text, 100);
        return std::u16string(text, n);
    }
    sim::FeatureModel model_;
    Notes notes_;
};

TEST_F(FeatureModelTest, ServesOnlyItsCommands) {
    for (uint32_t command : {1u, 2u, 3u, 4u, 16u, 17u, 19u, 20u, 31u, 32u, 33u, 34u, 35u, 36u, 37u, 41u}) {
        ServiceRecord request = ServiceRecord::Request(command);
        ServiceRecord reply = request;
        EXPECT_FALSE(model_.Answer(request, &reply)) << command;
    }
}

TEST_F(FeatureModelTest, SwitchesAcceptZeroAndOneAndReportChanges) {
    const struct {
        uint32_t set, get;
    } switches[] = {{5, 6}, {10, 11}, {22, 23}};
    for (const auto& s : switches) {
        notes_.clear();
        EXPECT_EQ(Ask(s.get).Word(12), 0u) << s.set;
        EXPECT_EQ(Ask(s.set, 1).result, 1u);
        EXPECT_EQ(Ask(s.get).Word(12), 1u) << s.set;
        EXPECT_EQ(Ask(s.set, 1).result, 1u);  // no change, no notification
        EXPECT_EQ(Ask(s.set, 2).result, 0u);
        EXPECT_EQ(Ask(s.get).Word(12), 1u) << s.set;
        EXPECT_EQ(Ask(s.set, 0).result, 1u);
        EXPECT_EQ(notes_, (Notes{{0x101, s.set}, {0x101, s.set}})) << s.set;
    }
}

TEST_F(FeatureModelTest, ApplicationTable) {
    EXPECT_EQ(AskApp(12, u"", u"C:\\x.exe").result, 0u);  // no name
    EXPECT_EQ(AskApp(12, u"Player", u"C:\\p.exe").result, 1u);
    EXPECT_EQ(AskApp(14, u"Player", u"Gaming").result, 1u);
    EXPECT_EQ(AskApp(14, u"Player", u"Unlisted").result, 0u);
    EXPECT_EQ(AskApp(14, u"Nobody", u"Movie").result, 0u);
    EXPECT_EQ(AskApp(12, u"Player", u"D:\\p.exe").result, 1u);  // same name: new path, mode kept
    EXPECT_EQ(AskApp(13, u"Nobody").result, 0u);
    const sim::FeatureModel::State state = model_.Snapshot();
    ASSERT_EQ(state.apps.size(), 1u);
    EXPECT_EQ(state.apps[0].path, u"D:\\p.exe");
    EXPECT_EQ(state.apps[0].mode, u"Gaming");

    for (int i = 1; i < 30; ++i) EXPECT_EQ(AskApp(12, u"app" + std::u16string(1, char16_t(u'@' + i))).result, 1u);
    EXPECT_EQ(AskApp(12, u"one too many").result, 0u);
    const ServiceRecord table = Ask(15);
    ASSERT_EQ(table.Word(12), 30u);
    EXPECT_EQ(Slot(table, 16), u"Player");
    EXPECT_EQ(Slot(table, 6016), u"Gaming");
    EXPECT_EQ(Slot(table, 16 + 200 * 29), u"app]");
    EXPECT_EQ(Slot(table, 6016 + 200 * 29), u"Default");  // a new entry gets the first mode

    EXPECT_EQ(AskApp(13, u"Player").result, 1u);
    EXPECT_EQ(Ask(15).Word(12), 29u);
    EXPECT_EQ(Slot(Ask(15), 16), u"appA");
}

TEST_F(FeatureModelTest, ScreensAndLayouts) {
    const ServiceRecord list = Ask(18);
    ASSERT_EQ(list.Word(12), 2u);
    EXPECT_EQ(Slot(list, 16), u"Screen 1");
    EXPECT_EQ(Slot(list, 216), u"Screen 2");
    EXPECT_EQ(Ask(8, 1, 7).result, 1u);
    EXPECT_EQ(Ask(7, 1).Word(16), 7u);
    EXPECT_EQ(Ask(7, 2).result, 0u);
    EXPECT_EQ(Ask(8, 2, 7).result, 0u);
    EXPECT_EQ(Ask(9).result, 1u);
    EXPECT_EQ(model_.Snapshot().customizerRequests, 1u);

    EXPECT_EQ(Run({"screens", "8"}), "ok");
    EXPECT_EQ(Ask(18).Word(12), 8u);
    EXPECT_EQ(Slot(Ask(18), 16 + 200 * 7), u"Screen 8");
    EXPECT_EQ(Ask(7, 1).Word(16), 7u);  // layouts kept by index
    EXPECT_EQ(Run({"screens", "9"}).rfind("error", 0), 0u);
    EXPECT_EQ(Run({"screens", "Left", "panel,Right"}), "ok");
    EXPECT_EQ(Slot(Ask(18), 16), u"Left panel");
    EXPECT_EQ(Ask(18).Word(12), 2u);
    EXPECT_EQ(Run({"screens", "0"}), "ok");
    EXPECT_EQ(Ask(18).Word(12), 0u);
    EXPECT_EQ(Ask(7, 0).result, 0u);
}

TEST_F(FeatureModelTest, ScheduleTimesModePowerHdrAndFeatures) {
    ServiceRecord times = ServiceRecord::Request(25);
    for (uint32_t i = 0; i < 4; ++i) times.SetWord(12 + 4 * i, 100 + i);
    EXPECT_EQ(Ask(times).result, 1u);
    const ServiceRecord read = Ask(24);
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(read.Word(12 + 4 * i), 100 + i);
    EXPECT_EQ(Ask(27, 0, 0x0D).result, 1u);
    EXPECT_EQ(Ask(26).Word(16), 0x0Du);
    EXPECT_EQ(Ask(27, 0, 0xFFFFFFFF).result, 0u);
    EXPECT_EQ(Ask(26).Word(16), 0x0Du);

    // A zero flag is the query: it never switches power savings off.
    EXPECT_EQ(Ask(30, 0).Word(12), 0u);
    EXPECT_EQ(Ask(30, 1).Word(12), 1u);
    EXPECT_EQ(Ask(30, 0).Word(12), 1u);
    EXPECT_EQ(Ask(30, 2).result, 0u);
    EXPECT_EQ(Run({"power", "0"}), "ok");
    EXPECT_EQ(Ask(30, 0).Word(12), 0u);

    EXPECT_EQ(Ask(28).Word(12), 0u);
    EXPECT_EQ(Run({"hdr", "1"}), "ok");
    EXPECT_EQ(Ask(28).Word(12), 1u);
    EXPECT_EQ(Run({"features", "0xFFFFFFFF"}), "ok");
    EXPECT_EQ(Ask(29).Word(12), 0xFFFFFFFFu);
    EXPECT_EQ(notes_, (Notes{{0x101, 25}, {0x101, 27}, {0x104, 1}, {0x104, 0}, {0x103, 1}, {0x100, 0xFFFFFFFF}}));
}

TEST_F(FeatureModelTest, ModeNamesAreConfigurable) {
    ServiceRecord list = Ask(21);
    ASSERT_EQ(list.Word(12), 5u);
    EXPECT_EQ(Slot(list, 16), u"Default");
    std::string thirty;
    for (int i = 0; i < 30; ++i) thirty += (i ? "," : "") + std::string("mode") + std::to_string(i);
    EXPECT_EQ(Run({"modes", thirty}), "ok");
    list = Ask(21);
    EXPECT_EQ(list.Word(12), 30u);
    EXPECT_EQ(Slot(list, 16 + 200 * 29), u"mode29");
    EXPECT_EQ(Run({"modes", thirty + ",mode30"}).rfind("error", 0), 0u);
    EXPECT_EQ(Run({"modes", "Low", "Blue", "Light,Vivid"}), "ok");
    EXPECT_EQ(Slot(Ask(21), 16), u"Low Blue Light");
    EXPECT_EQ(Run({"modes", "none"}), "ok");
    EXPECT_EQ(Ask(21).Word(12), 0u);
    EXPECT_EQ(AskApp(12, u"Player").result, 1u);
    EXPECT_EQ(model_.Snapshot().apps.at(0).mode, u"");  // no mode to give
}

TEST_F(FeatureModelTest, ControlCommands) {
    EXPECT_EQ(Run({"autocolor", "1"}), "ok");
    EXPECT_EQ(Run({"partition", "1"}), "ok");
    EXPECT_EQ(Run({"schedule", "1"}), "ok");
    EXPECT_EQ(Run({"times", "1", "2", "3", "0x4"}), "ok");
    EXPECT_EQ(Run({"schedule-mode", "5"}), "ok");
    EXPECT_EQ(Run({"layout", "0", "3"}), "ok");
    EXPECT_EQ(Run({"app-add", "Movie", "Player,C:\\Program", "Files\\mp.exe,Movie"}), "ok");
    EXPECT_EQ(Run({"app-add", "Editor,C:\\ed.exe"}), "ok");
    EXPECT_EQ(Run({"app-mode", "Editor,Anything"}), "ok");  // the service's own change: any name
    EXPECT_EQ(Run({"app-delete", "Editor"}), "ok");
    EXPECT_EQ(Run({"feature-state"}),
              "autocolor=1 apps=Movie Player:Movie modes=Default,Movie,Gaming,Photo,Web partition=1 "
              "screens=Screen 1:3,Screen 2:0 customizer=0 schedule=1 times=1,2,3,4 schedule-mode=5 power=0 hdr=0 "
              "features=0x00000000");
    EXPECT_EQ(model_.Snapshot().apps.at(0).path, u"C:\\Program Files\\mp.exe");
    EXPECT_EQ(Run({"apps-clear"}), "ok");
    EXPECT_EQ(Ask(15).Word(12), 0u);

    // Malformed commands change nothing and post nothing.
    notes_.clear();
    const std::vector<std::vector<std::string>> bad = {
        {"hdr", "2"},         {"hdr"},           {"features", "-1"},        {"features", "0x100000000"},
        {"times", "1", "2"},  {"layout", "5", "1"}, {"app-add", "OnlyName"}, {"app-delete", "Nobody"},
        {"app-mode", "Nobody,Movie"}, {"modes", "a,,b"}, {"screens", "x,"}, {"apps-clear", "now"},
    };
    for (const auto& args : bad) EXPECT_EQ(Run(args).rfind("error", 0), 0u) << args[0];
    EXPECT_TRUE(notes_.empty());
    EXPECT_FALSE(model_.Snapshot().hdr);
    std::string reply;
    EXPECT_FALSE(model_.Control({"set", "0x10", "1"}, &reply));  // the monitor's
}

TEST_F(FeatureModelTest, NamesInControlAreUtf8) {
    EXPECT_EQ(Run({"screens", "Écran,画面,\xF0\x9F\x96\xA5"}), "ok");
    const ServiceRecord list = Ask(18);
    EXPECT_EQ(Slot(list, 16), u"Écran");
    EXPECT_EQ(Slot(list, 216), u"画面");
    EXPECT_EQ(Slot(list, 416), u"\U0001F5A5");
    EXPECT_NE(Run({"feature-state"}).find("screens=Écran:0,画面:0,\xF0\x9F\x96\xA5:0 "), std::string::npos);
}

}  // namespace
